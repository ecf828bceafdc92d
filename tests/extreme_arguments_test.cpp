// Arguments at and beyond the limits of their types, through Lua, where the
// plain arithmetic would overflow, divide by zero, convert an out-of-range
// double or index outside a table: the sound results the module gives.
#include <algorithm>

#include "curve/curve.h"
#include "lua_fixture.h"
#include "module/module_state.h"

namespace {

struct Case {
    const char* setup;  // Lua run first (curve points), or ""
    const char* call;   // on `buf`
    std::vector<uint32_t> in, out;
};

// Every curve position holds the same point.
#define ALL_POINTS(y) "for i = 1, 361 do librururev.tovoInterRGBset(0, " y ", i) end"

const Case kCases[] = {
    // Curves: a scale of 1 moves each channel by -y; an sh of -1, 0 or 1
    // has no scale and moves nothing, whatever spells it.
    {ALL_POINTS("50"), "tovoInterRGB(buf, 2, 1, 100, 0, 256)",
     {0xFF204080, 0x80102030}, {0xFF000E4E, 0x80000000}},
    {ALL_POINTS("50"), "tovoInterRGB(buf, 2, 1, 100, 0, 0)",
     {0xFF204080, 0x80102030}, {0xFF204080, 0x80102030}},
    {ALL_POINTS("50"), "tovoInterRGB(buf, 2, 1, 100, 0, 1.9)",
     {0xFF204080, 0x80102030}, {0xFF204080, 0x80102030}},
    {ALL_POINTS("50"), "tovoInterRGB(buf, 2, 1, 100, 0, -1.5)",
     {0xFF204080, 0x80102030}, {0xFF204080, 0x80102030}},
    {ALL_POINTS("50"), "tovoInterRGB(buf, 2, 1, 100, 0, 0/0)",
     {0xFF204080, 0x80102030}, {0xFF204080, 0x80102030}},
    {ALL_POINTS("50"), "tovoInterRGB(buf, 2, 1, 100, 0, 'abc')",
     {0xFF204080, 0x80102030}, {0xFF204080, 0x80102030}},
    {ALL_POINTS("50"), "tovoInterRGB(buf, 2, 1, 100, 7)",
     {0xFF204080, 0x00102030}, {0xFF204080, 0x00102030}},
    // The HSV curve without a scale still round trips; these colours come
    // back exact.
    {ALL_POINTS("50"), "tovoInterHSV(buf, 3, 1, 100, 0, 1)",
     {0xFFFF0000, 0x8000FF00, 0x40000000}, {0xFFFF0000, 0x8000FF00, 0x40000000}},
    {ALL_POINTS("50"), "tovoInterHSV(buf, 3, 1, 100, 1, -1)",
     {0xFFFF0000, 0x8000FF00, 0x40000000}, {0xFFFF0000, 0x8000FF00, 0x40000000}},
    {ALL_POINTS("50"), "tovoInterHSV(buf, 3, 1, 100, 2, nil)",
     {0xFFFF0000, 0x8000FF00, 0x40000000}, {0xFFFF0000, 0x8000FF00, 0x40000000}},
    // Enormous and infinite displacements saturate, then the levels clamp;
    // one that is not a number (infinity times a strength of 0) moves nothing.
    {ALL_POINTS("1e300"), "tovoInterRGB(buf, 2, 1, 100, 0, 256)",
     {0xFF204080, 0x80102030}, {0xFF000000, 0x80000000}},
    {ALL_POINTS("-1e300"), "tovoInterRGB(buf, 2, 1, 100, 0, 256)",
     {0xFF204080, 0x80102030}, {0xFFFFFFFF, 0x80FFFFFF}},
    {ALL_POINTS("1/0"), "tovoInterRGB(buf, 2, 1, 100, 0, 256)",
     {0xFF204080, 0x80102030}, {0xFF000000, 0x80000000}},
    {ALL_POINTS("1/0"), "tovoInterRGB(buf, 2, 1, 0, 0, 256)",
     {0xFF204080, 0x80102030}, {0xFF204080, 0x80102030}},
    {ALL_POINTS("0/0"), "tovoInterRGB(buf, 2, 1, 100, 0, 256)",
     {0xFF204080, 0x80102030}, {0xFF204080, 0x80102030}},
    {ALL_POINTS("-1e300"), "tovoInterRGB(buf, 2, 1, 100, 7, 256)",
     {0x00102030, 0x80000000}, {0xFF102030, 0xFF000000}},
    // A hue moved below -360 comes back onto the wheel: red by -480 or -840
    // is blue, by +120 green.
    {"librururev.tovoInterRGBset(0, 480, 1)", "tovoInterHSV(buf, 1, 1, 100, 0, 720)",
     {0xFFFF0000}, {0xFF0000FF}},
    {"librururev.tovoInterRGBset(0, 840, 1)", "tovoInterHSV(buf, 1, 1, 100, 0, 720)",
     {0xFFFF0000}, {0xFF0000FF}},
    {"librururev.tovoInterRGBset(0, -120, 1)", "tovoInterHSV(buf, 1, 1, 100, 0, 720)",
     {0xFFFF0000}, {0xFF00FF00}},

    // Gamma: an exponent that is not a number gives 0; +inf sends every
    // luma below 1 to 0, -inf to 255. Transparent pixels too.
    {"", "tovoGanma(buf, 2, 1, 0/0)", {0xFF808080, 0x00808080}, {0xFF000000, 0x00000000}},
    {"", "tovoGanma(buf, 2, 1, 'nan')", {0xFF808080, 0x00808080}, {0xFF000000, 0x00000000}},
    {"", "tovoGanma(buf, 2, 1, 1/0)", {0xFF808080, 0x00808080}, {0xFF000000, 0x00000000}},
    {"", "tovoGanma(buf, 2, 1, 1e39)", {0xFF808080, 0x00808080}, {0xFF000000, 0x00000000}},
    {"", "tovoGanma(buf, 2, 1, -1/0)", {0xFF808080, 0x00808080}, {0xFFFFFFFF, 0x00FFFFFF}},

    // Random alpha with a threshold every draw passes: 255 x t2 / 100 is
    // computed wide and keeps its low 8 bits.
    {"", "tovoAlp0(buf, 3, 1, 0, 1, 2^31)",
     {0xFF102030, 0x00102030, 0x01000000}, {0x63102030, 0x00102030, 0x63000000}},
    {"", "tovoAlp0(buf, 3, 1, -1e300, 1, -2^31)",
     {0xFF102030, 0x00102030, 0x01000000}, {0x9A102030, 0x00102030, 0x9A000000}},
    {"", "tovoAlp0(buf, 3, 1, 0, 1, 101)",
     {0xFF102030, 0x00102030, 0x01000000}, {0x01102030, 0x00102030, 0x01000000}},
    {"", "tovoAlp0(buf, 3, 1, 1e300, 1, 50)",
     {0xFF102030, 0x00102030, 0x01000000}, {0xFF102030, 0x00102030, 0x01000000}},

    // A hue shift below -360 goes round the wheel: red by -480 is blue,
    // green by -480 is red.
    {"", "tovoHSV(buf, 2, 1, -480)", {0xFFFF0000, 0x8000FF00}, {0xFF0000FF, 0x80FF0000}},
    {"", "tovoHSV(buf, 1, 1, 0, 0, -1e300)", {0xFFFF0000}, {0xFF000000}},

    // Colour keys: tolerances beyond the integer range take every visible
    // pixel, or none.
    {"", "tovoYCbCr(buf, 3, 1, 2^31, 1e300, 1/0, 0x123456)",
     {0xFF204080, 0x00FF8000, 0x80808080}, {0xFF204080, 0x00FF8000, 0x80808080}},
    {"", "tovoYCbCr(buf, 3, 1, -2^31 - 1, -1e300, -1/0, 0x123456)",
     {0xFF204080, 0x00FF8000, 0x80808080}, {0x00204080, 0x00FF8000, 0x00808080}},
    {"", "tovoCTracking(buf, 3, 1, 2^31, 1e300, 1/0, 0, 0x123456, 0, -1, 0, -1)",
     {0xFFFF0000, 0x80808080, 0x00123456}, {0xFFFF0000, 0x80808080, 0x00123456}},
    {"", "tovoCTracking(buf, 3, 1, -2^31, -1e300, -1/0, 0, 0x123456, 0, -1, 0, -1)",
     {0xFFFF0000, 0x80808080, 0x00123456}, {0x00FF0000, 0x00808080, 0x00123456}},
    // A saturation shift of -1e300 clamps to 0: red turns white, grey stays.
    {"", "tovoCTracking(buf, 3, 1, 2^31, 2^31, 2^31, -1e300, 0x123456, 0, -1, 0, -1)",
     {0xFFFF0000, 0x80808080, 0x00123456}, {0xFFFFFFFF, 0x80808080, 0x00123456}},
};

#undef ALL_POINTS

class ExtremeArguments : public LuaTest {
protected:
    void SetUp() override {
        rururev::reset_module_state();
        LuaTest::SetUp();
    }
    void TearDown() override {
        LuaTest::TearDown();
        rururev::reset_module_state();
    }

    std::vector<uint32_t> words_after(const std::string& call, std::vector<uint32_t> px) {
        set_buffer(px);
        run("librururev." + call);
        return px;
    }
};

TEST_F(ExtremeArguments, ExactWords) {
    for (const Case& c : kCases) {
        rururev::reset_module_state();
        run(c.setup);
        EXPECT_EQ(words_after(c.call, c.in), c.out) << c.setup << "; " << c.call;
    }
}

// Arguments beyond the integer range saturate, and then act as the small
// values they are equivalent to: eight-bit offsets and thresholds modulo
// 256, hues modulo 360, levels and bounds through their clamps. Each pair
// of calls gives the same words.
TEST_F(ExtremeArguments, HugeValuesActAsTheirReducedEquivalents) {
    const std::vector<uint32_t> image = {0xFF204080, 0x80808080, 0xFF7F8081, 0x00FFFFFF,
                                         0x01FEFDFC, 0xFF000000, 0xFFFF0000, 0x4000FF00};
    const struct { const char* call, *same_as; } pairs[] = {
        {"tovo2Pns(buf, 8, 1, 0, 0, 0, -2^31, 0, 255, 0)", "tovo2Pns(buf, 8, 1, 0, 0, 0, 0, 0, 255, 0)"},
        {"tovo2Pns(buf, 8, 1, 0, 0, 0, 2^31, 0, 255, 0)", "tovo2Pns(buf, 8, 1, 0, 0, 0, -1, 0, 255, 0)"},
        {"tovo2Pns(buf, 8, 1, 0, 0, 0, 1e300, 1, 255, 0)", "tovo2Pns(buf, 8, 1, 0, 0, 0, -1, 1, 255, 0)"},
        {"tovo2Pns(buf, 8, 1, 2^31, 1e300, -1/0, 0, 0, 255, 0)", "tovo2Pns(buf, 8, 1, -1, -1, 0, 0, 0, 255, 0)"},
        {"tovo2Pns(buf, 8, 1, 0, 0, 0, 0, 257, 1e300, -1e300)", "tovo2Pns(buf, 8, 1, 0, 0, 0, 0, 1, 255, 0)"},
        {"tovo2Pns(buf, 8, 1, 0, 0, 0, 0, 1e300, 255, 0)", "tovo2Pns(buf, 8, 1, 0, 0, 0, 0, 255, 255, 0)"},
        // -2^31 is 232 modulo 360, 2^31 - 1 is 127; -480 is 240.
        {"tovoHSV(buf, 8, 1, -2^31)", "tovoHSV(buf, 8, 1, 232)"},
        {"tovoHSV(buf, 8, 1, 1e300)", "tovoHSV(buf, 8, 1, 127)"},
        {"tovoHSV(buf, 8, 1, -480)", "tovoHSV(buf, 8, 1, 240)"},
        {"tovoHSV(buf, 8, 1, 0, 1e300, -1/0, 2^31)", "tovoHSV(buf, 8, 1, 0, 255, -255, 255)"},
        {"tovoNega(buf, 8, 1, 30, -2^31, 128, 0)", "tovoNega(buf, 8, 1, 30, 255, 128, 0)"},
        {"tovoHighShadow(buf, 8, 1, 200, 40, 0, 100, 2^31, -2^31)",
         "tovoHighShadow(buf, 8, 1, 200, 40, 0, 100, 255, 0)"},
        {"tovoHighShadow(buf, 8, 1, 200, 40, 0, 100, -1e300, 1e300)",
         "tovoHighShadow(buf, 8, 1, 200, 40, 0, 100, 0, 0)"},
        {"tovoHighShadowDoder(buf, 8, 1, 200, 40, 0, 100, 1/0, -1/0)",
         "tovoHighShadowDoder(buf, 8, 1, 200, 40, 0, 100, 255, 0)"},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(words_after(p.call, image), words_after(p.same_as, image)) << p.call;
    }
}

TEST_F(ExtremeArguments, CurvePositionOutsideTheTableRaisesWhateverSpellsIt) {
    const char* const positions[] = {"0", "362", "-1", "0.9", "nil", "0/0", "2^40",
                                     "-2^31 - 1", "'1e400'", "'abc'", "{}"};
    for (const char* idx : positions) {
        const std::string error = try_run(std::string("librururev.tovoInterRGBset(5, 7, ") + idx + ")");
        EXPECT_NE(error.find("bad argument #3 to 'tovoInterRGBset' (curve position must be 1 to 361)"),
                  std::string::npos) << idx << ": " << error;
    }
    const auto zero = [](double v) { return v == 0; };
    EXPECT_TRUE(std::all_of(std::begin(rururev::pointx), std::end(rururev::pointx), zero));
    EXPECT_TRUE(std::all_of(std::begin(rururev::pointy), std::end(rururev::pointy), zero));
    // The ends of the table, spelled as a fraction and as a string.
    run("librururev.tovoInterRGBset(5, 7, 361.9) librururev.tovoInterRGBset(6, 8, '1')");
    EXPECT_EQ(rururev::pointy[360], -7);
    EXPECT_EQ(rururev::pointx[0], 6);
}

// A grid spacing that reads as 0 paints nothing but still stores the frame:
// the next call compares with it and paints every changed pixel oc.
TEST_F(ExtremeArguments, FrameGridOfZeroPaintsNothingAndStillStores) {
    const std::vector<uint32_t> first = {0xFF204080, 0x80808080};
    const std::vector<uint32_t> second = {0xFFFFFFFF, 0x80000000};
    for (const char* nn : {"0", "0.9", "-0.9", "nil", "0/0", "'abc'", "{}"}) {
        rururev::reset_module_state();
        const std::string args = std::string(", 0, 1, 1, 1, ") + nn + ", 0x123456, true)";
        EXPECT_EQ(words_after("tovoFrameCBA(buf, 2, 1" + args, first), first) << nn;
        EXPECT_EQ(words_after("tovoFrameCBA(buf, 2, 1, 0, 1, 1, 1, 1, 0x123456, true)", second),
                  (std::vector<uint32_t>{0xFF123456, 0x80123456})) << nn;
    }
}

}  // namespace
