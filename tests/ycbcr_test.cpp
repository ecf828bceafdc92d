// YCbCr colour key, on the kernel and through Lua.
#include "lua_fixture.h"
#include "filters/filter_functions.h"

namespace {

struct KeyCase {
    const char* what;
    uint32_t in;
    int32_t t0, t1, t2;
    uint32_t oc;
    uint32_t out;
};

// Greys 72, 86, 100 and 112 and the colours (0, 0, 10) and (0, 10, 10) have
// exact components (Y 72, 86, 100, 112; Cb 5; Cr -5), so the bounds below
// sit exactly on the window's edges.
const KeyCase key_cases[] = {
    {"transparent, far off", 0x00FA0A0A, 0, 0, 0, 0x000000FF, 0x00FA0A0A},
    {"transparent, exact colour", 0x00123456, 0, 0, 0, 0x00123456, 0x00123456},
    {"exact colour, zero tolerances", 0xFF123456, 0, 0, 0, 0x00123456, 0xFF123456},
    {"one unit off, zero tolerances", 0xFF123457, 0, 0, 0, 0x00123456, 0x00123457},
    {"negative Y tolerance", 0x80123456, -1, 100, 100, 0x00123456, 0x00123456},
    {"negative Cb tolerance", 0x80123456, 100, -1, 100, 0x00123456, 0x00123456},
    {"negative Cr tolerance", 0x80123456, 100, 100, -1, 0x00123456, 0x00123456},
    {"near red matches", 0x80FA0A0A, 10, 5, 10, 0x00FF0000, 0x80FA0A0A},
    {"near red, Cr window too narrow", 0x80FA0A0A, 10, 5, 5, 0x00FF0000, 0x00FA0A0A},
    {"alpha byte of oc ignored", 0x80FA0A0A, 10, 5, 10, 0xFFFF0000, 0x80FA0A0A},
    {"alpha byte of oc ignored, no match", 0x80FA0A0A, 10, 5, 5, 0x7FFF0000, 0x00FA0A0A},
    {"Y exactly t0 below", 0x01565656, 14, 0, 0, 0x00646464, 0x01565656},
    {"Y just beyond t0 below", 0x01565656, 13, 0, 0, 0x00646464, 0x00565656},
    {"Y exactly t0 above", 0x01707070, 12, 0, 0, 0x00646464, 0x01707070},
    {"Y just beyond t0 above", 0x01707070, 11, 0, 0, 0x00646464, 0x00707070},
    {"Cb exactly t1 above", 0xFF00000A, 2, 5, 1, 0x00000000, 0xFF00000A},
    {"Cb just beyond t1 above", 0xFF00000A, 2, 4, 1, 0x00000000, 0x0000000A},
    {"Cb exactly t1 below", 0xFF000000, 2, 5, 1, 0x0000000A, 0xFF000000},
    {"Cr exactly t2 below", 0xFF000A0A, 8, 2, 5, 0x00000000, 0xFF000A0A},
    {"Cr just beyond t2 below", 0xFF000A0A, 8, 2, 4, 0x00000000, 0x00000A0A},
    {"Cr exactly t2 above", 0xFF000000, 8, 2, 5, 0x00000A0A, 0xFF000000},
    {"grey 51 within t0 of black", 0xFF333333, 51, 1, 1, 0x00000000, 0xFF333333},
    {"grey 52 beyond t0 of black", 0xFF343434, 51, 1, 1, 0x00000000, 0x00343434},
    {"huge tolerances match all", 0x2A00FF00, INT32_MAX, INT32_MAX, INT32_MAX, 0x00FF00FF, 0x2A00FF00},
    {"most negative tolerances match none", 0x2A00FF00, INT32_MIN, INT32_MIN, INT32_MIN, 0x0000FF00, 0x0000FF00},
};

}  // namespace

TEST(YCbCrKernel, ExactWords) {
    for (const auto& c : key_cases) {
        uint32_t word = c.in;
        rururev::kernel::tovoYCbCr(&word, 1, c.t0, c.t1, c.t2, c.oc);
        EXPECT_EQ(word, c.out) << c.what;
    }
}

// Every colour, with alpha 255, keyed against itself with zero tolerances and
// against black with tolerances wide enough for all: each one matches and the
// rebuild from Y, Cb and Cr hands back the very same word.
TEST(YCbCrKernel, EveryColourMatchingComesBackUnchanged) {
    std::vector<uint32_t> words(1u << 24);
    for (uint32_t c = 0; c < words.size(); c++) words[c] = 0xFF000000u | c;
    rururev::kernel::tovoYCbCr(words.data(), 1u << 24, 256, 256, 256, 0);
    uint32_t changed = 0;
    for (uint32_t c = 0; c < words.size(); c++) {
        uint32_t self = 0xFF000000u | c;
        rururev::kernel::tovoYCbCr(&self, 1, 0, 0, 0, c);
        if (words[c] != (0xFF000000u | c) || self != (0xFF000000u | c)) changed++;
    }
    EXPECT_EQ(changed, 0u);
}

using YCbCrFilter = LuaTest;

TEST_F(YCbCrFilter, ArgumentsInOrderOverAWholeImage) {
    // Pure red as a full word with alpha 255, and the near-red pixel: only the
    // Cr tolerance (argument 6) decides between the two calls.
    std::vector<uint32_t> px = {0x80FA0A0A, 0xFF0000FF, 0x000000FF, 0x01FF0000};
    set_buffer(px);
    run("librururev.tovoYCbCr(buf, 2, 2, 10, 5, 10, 0xFFFF0000)");
    EXPECT_EQ(px, (std::vector<uint32_t>{0x80FA0A0A, 0x000000FF, 0x000000FF, 0x01FF0000}));
    run("librururev.tovoYCbCr(buf, 4, 1, 10, 5, 5, 4294901760)");
    EXPECT_EQ(px, (std::vector<uint32_t>{0x00FA0A0A, 0x000000FF, 0x000000FF, 0x01FF0000}));
}
