// Grey-level range key: both modes, the band ends, both grey measures.
#include "filters/filter_functions.h"
#include "lua_fixture.h"

namespace {

const uint32_t fill = 0xFF123456;  // its alpha byte is never used

}  // namespace

TEST(RangeKeyKernel, ExactWords) {
    const struct {
        uint32_t in;
        int32_t t0, t1;
        uint8_t chk;
        uint32_t filled, cut;  // t2 of 0, t2 of 1
    } cases[] = {
        // Band 100..150: the upper end is in for fill, out for cut.
        {0x80969696, 100, 50, 0, 0x80123456, 0x00969696},
        {0x80959595, 100, 50, 0, 0x80123456, 0x80959595},
        {0x80646464, 100, 50, 0, 0x80123456, 0x80646464},
        {0x80636363, 100, 50, 0, 0x00123456, 0x00636363},
        {0x80979797, 100, 50, 0, 0x00123456, 0x00979797},
        // An empty band: width 0 keeps exactly t0 in fill mode only; a
        // negative width keeps nothing.
        {0x80646464, 100, 0, 0, 0x80123456, 0x00646464},
        {0x80646464, 100, -1, 0, 0x00123456, 0x00646464},
        // Transparent pixels are never touched, not even by the fill.
        {0x00646464, 100, 50, 0, 0x00646464, 0x00646464},
        {0x00646464, 0, -1, 0, 0x00646464, 0x00646464},
        // Weighted grey rounds halves up: blue 250 is 28.5, green 255 149.7.
        {0x010000FA, 29, 0, 0, 0x01123456, 0x000000FA},
        {0x010000FA, 28, 0, 0, 0x00123456, 0x000000FA},
        {0x0100FF00, 150, 0, 0, 0x01123456, 0x0000FF00},
        // Red 255 measures 76 weighted and 85 as a mean.
        {0xFFFF0000, 80, 10, 0, 0x00123456, 0x00FF0000},
        {0xFFFF0000, 80, 10, 1, 0xFF123456, 0xFFFF0000},
        {0xFFFF0000, 84, 1, 255, 0xFF123456, 0x00FF0000},
        // The upper end is summed wide: it does not wrap negative.
        {0x80969696, 100, INT32_MAX, 0, 0x80123456, 0x80969696},
        {0x80969696, INT32_MIN, INT32_MIN, 0, 0x00123456, 0x00969696},
    };
    for (const auto& c : cases) {
        uint32_t filled = c.in, cut = c.in;
        rururev::kernel::tovoRngPut(&filled, 1, c.t0, c.t1, 0, fill, c.chk);
        rururev::kernel::tovoRngPut(&cut, 1, c.t0, c.t1, 1, fill, c.chk);
        EXPECT_EQ(filled, c.filled) << std::hex << c.in << std::dec << " " << c.t0 << "+" << c.t1;
        EXPECT_EQ(cut, c.cut) << std::hex << c.in << std::dec << " " << c.t0 << "+" << c.t1;
    }
}

using RangeKeyFilter = LuaTest;

// oc is a pixel word (-1 is white); chk keeps its low 8 bits; any t2 other
// than 0 cuts, and then oc has no effect.
TEST_F(RangeKeyFilter, ColourModeAndMeasureThroughLua) {
    const struct { const char* call; uint32_t out; } cases[] = {
        {"librururev.tovoRngPut(buf, 1, 1, 0, 255, 0, -1)", 0x80FFFFFF},
        {"librururev.tovoRngPut(buf, 1, 1, 0, 255, 0, 4278255360)", 0x8000FF00},
        {"librururev.tovoRngPut(buf, 1, 1, 0, 255, 0.9, 4278255360)", 0x8000FF00},
        {"librururev.tovoRngPut(buf, 1, 1, 80, 10, 0, 0, 256)", 0x00000000},
        {"librururev.tovoRngPut(buf, 1, 1, 80, 10, 0, 0, -1)", 0x80000000},
        {"librururev.tovoRngPut(buf, 1, 1, 80, 10, -3, 4278255360, 1)", 0x80FF0000},
        {"librururev.tovoRngPut(buf, 1, 1, 80, 10, -3, 4278255360)", 0x00FF0000},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> px = {0x80FF0000};
        set_buffer(px);
        run(c.call);
        EXPECT_EQ(px[0], c.out) << c.call;
    }
}
