// Colour split and colour tracking: one selection, two fates for the pixels
// left out (grey for tovoCSplt, alpha 0 for tovoCTracking).
#include "lua_fixture.h"
#include "filters/filter_functions.h"

namespace {

const uint32_t kAll = 0xFFFFFFFFu;  // a rectangle bound beyond any image

struct SelectCase {
    const char* what;
    uint32_t in;
    int32_t t0, t1, t2, t3;
    uint32_t oc;
    uint32_t split;     // tovoCSplt
    uint32_t tracking;  // tovoCTracking
};

// One pixel, rectangle covering the image. Pure red is hue 0, saturation 255,
// value 255; (250, 10, 10) is hue 0, saturation 244, value 250.
const SelectCase select_cases[] = {
    {"transparent, exact colour", 0x00FF0000, 10, 20, 10, 0, 0x00FF0000, 0x00FF0000, 0x00FF0000},
    {"near red matches", 0x80FA0A0A, 10, 20, 10, 0, 0x00FF0000, 0x80FA0B0B, 0x80FA0B0B},
    {"near red, shift clamped at 255", 0x80FA0A0A, 10, 20, 10, 20, 0x00FF0000, 0x80FA0000, 0x80FA0000},
    {"near red, shift down", 0x80FA0A0A, 10, 20, 10, -100, 0x00FF0000, 0x80FA6D6D, 0x80FA6D6D},
    {"alpha byte of oc ignored", 0x80FA0A0A, 10, 20, 10, 0, 0xFFFF0000, 0x80FA0B0B, 0x80FA0B0B},
    {"saturation just beyond t1", 0x80FA0A0A, 10, 10, 10, 0, 0x00FF0000, 0x80515151, 0x00FA0A0A},
    {"saturation exactly t1 off", 0x80FA0A0A, 10, 11, 10, 0, 0x00FF0000, 0x80FA0B0B, 0x80FA0B0B},
    {"value exactly t2 off", 0x80FA0A0A, 0, 11, 5, 0, 0x00FF0000, 0x80FA0B0B, 0x80FA0B0B},
    {"value just beyond t2", 0x80FA0A0A, 0, 11, 4, 0, 0x00FF0000, 0x80515151, 0x00FA0A0A},
    {"blue against red", 0xFF0000FF, 10, 20, 10, 0, 0x00FF0000, 0xFF1D1D1D, 0x000000FF},
    // (255, 4, 0) is hue 0, (255, 5, 0) hue 1; a kept pixel goes through the
    // 8-bit pair and comes back with green 4 or 0.
    {"zero t0 needs the same hue", 0xFFFF0500, 0, 255, 255, 0, 0x00FF0400, 0xFF4F4F4F, 0x00FF0500},
    {"hue exactly t0 off", 0xFFFF0500, 1, 255, 255, 0, 0x00FF0400, 0xFFFF0400, 0xFFFF0400},
    {"hue exactly t0 off, other side", 0xFFFF0400, 1, 255, 255, 0, 0x00FF0500, 0xFFFF0000, 0xFFFF0000},
    // Hue 1 against hue 358: the window does not wrap round 0/360.
    {"hue window does not wrap", 0xFFFF0008, 10, 255, 255, 0, 0x00FF0800, 0xFF4D4D4D, 0x00FF0008},
    // Hue 300 against hue 44: hues compare at full width, not modulo 256.
    {"hue 300 is not hue 44", 0xFFFF00FF, 0, 0, 0, 0, 0x00FFBB00, 0xFF696969, 0x00FF00FF},
    {"hue 300 against itself", 0xFFFF00FF, 0, 0, 0, 0, 0x00FF00FF, 0xFFFF00FF, 0xFFFF00FF},
    {"negative t0", 0x80FF0000, -1, 20, 10, 0, 0x00FF0000, 0x804C4C4C, 0x00FF0000},
    {"negative t1", 0x80FF0000, 10, -1, 10, 0, 0x00FF0000, 0x804C4C4C, 0x00FF0000},
    {"negative t2", 0x80FF0000, 10, 20, -1, 0, 0x00FF0000, 0x804C4C4C, 0x00FF0000},
    {"grey within t2 of a grey reference", 0xFF8A8A8A, 0, 0, 10, 0, 0x00808080, 0xFF8A8A8A, 0xFF8A8A8A},
    {"grey beyond t2 stays the same grey", 0xFF8A8A8A, 0, 0, 9, 0, 0x00808080, 0xFF8A8A8A, 0x008A8A8A},
    {"matching grey tinted red", 0x40808080, 0, 0, 0, 100, 0x00808080, 0x40804E4E, 0x40804E4E},
    // Windows and shifts at the ends of the integer range: summed wide, they
    // neither wrap round to a match nor away from one.
    {"largest tolerances match", 0x80123456, INT32_MAX, INT32_MAX, INT32_MAX, 0, 0x00FF00FF, 0x80123456, 0x80123456},
    {"most negative tolerances", 0x80123456, INT32_MIN, INT32_MIN, INT32_MIN, 0, 0x00123456, 0x802D2D2D, 0x00123456},
    {"largest shift", 0x80FA0A0A, 10, 20, 10, INT32_MAX, 0x00FF0000, 0x80FA0000, 0x80FA0000},
    {"most negative shift", 0x80FA0A0A, 10, 20, 10, INT32_MIN, 0x00FF0000, 0x80FAFAFA, 0x80FAFAFA},
};

}  // namespace

TEST(ColourSelectKernels, ExactWords) {
    for (const auto& c : select_cases) {
        uint32_t split = c.in, tracking = c.in;
        rururev::kernel::tovoCSplt(&split, 1, 1, c.t0, c.t1, c.t2, c.t3, c.oc, 0, kAll, 0, kAll);
        rururev::kernel::tovoCTracking(&tracking, 1, 1, c.t0, c.t1, c.t2, c.t3, c.oc, 0, kAll, 0,
                                       kAll);
        EXPECT_EQ(split, c.split) << c.what;
        EXPECT_EQ(tracking, c.tracking) << c.what;
    }
}

TEST(ColourSelectKernels, GreyLevelOfPixelsLeftOut) {
    const struct { uint32_t in, out; } cases[] = {
        {0xFF6496C8, 0xFF8C8C8C}, {0xFFFF0000, 0xFF4C4C4C}, {0xFF00FF00, 0xFF959595},
        {0xFF0000FF, 0xFF1D1D1D}, {0xFFFFFFFF, 0xFFFFFFFF}, {0x01010101, 0x01010101},
        {0x7F4D4D4D, 0x7F4D4D4D}, {0x00FF0000, 0x00FF0000},
    };
    for (const auto& c : cases) {
        uint32_t word = c.in;
        // An empty rectangle (x0 above x1): every visible pixel is left out.
        rururev::kernel::tovoCSplt(&word, 1, 1, 10, 20, 10, 0, c.in, 1, 0, 0, kAll);
        EXPECT_EQ(word, c.out) << std::hex << c.in;
    }
}

// A 4 x 3 image of pure red with one transparent pixel: only the rectangle
// decides which pixels are kept.
TEST(ColourSelectKernels, RectangleBoundsAreInclusive) {
    const uint32_t R = 0xFFFF0000, T = 0x00FF0000, G = 0xFF4C4C4C;
    const struct {
        const char* what;
        uint32_t x0, x1, y0, y1;
        std::vector<uint32_t> split;
    } cases[] = {
        {"one pixel", 1, 1, 2, 2, {G, G, G, G, G, T, G, G, G, R, G, G}},
        {"columns 1 to 2, rows 0 to 1", 1, 2, 0, 1, {G, R, R, G, G, T, R, G, G, G, G, G}},
        {"x0 above x1", 2, 1, 0, kAll, {G, G, G, G, G, T, G, G, G, G, G, G}},
        {"y0 above y1", 0, kAll, 1, 0, {G, G, G, G, G, T, G, G, G, G, G, G}},
        {"bounds beyond the image", 0, kAll, 0, kAll, {R, R, R, R, R, T, R, R, R, R, R, R}},
        {"last column and row only", 3, 3, 2, 2, {G, G, G, G, G, T, G, G, G, G, G, R}},
        {"rectangle off the image", 4, 9, 0, kAll, {G, G, G, G, G, T, G, G, G, G, G, G}},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> split(12, R), tracking(12, R);
        split[5] = tracking[5] = T;
        rururev::kernel::tovoCSplt(split.data(), 4, 3, 0, 0, 0, 0, R, c.x0, c.x1, c.y0, c.y1);
        rururev::kernel::tovoCTracking(tracking.data(), 4, 3, 0, 0, 0, 0, R, c.x0, c.x1, c.y0,
                                       c.y1);
        EXPECT_EQ(split, c.split) << c.what;
        // Tracking keeps the same pixels and makes the rest transparent.
        for (size_t i = 0; i < 12; i++) {
            const uint32_t expected = c.split[i] == G ? 0x00FF0000 : c.split[i];
            EXPECT_EQ(tracking[i], expected) << c.what << " at " << i;
        }
    }
}

using ColourSelectFilters = LuaTest;

// The twelve arguments land in their places: the rectangle picks column 5 of
// row 0 in an 8 x 2 image, oc is pure red with alpha 255, t3 shifts.
TEST_F(ColourSelectFilters, ArgumentsInOrder) {
    std::vector<uint32_t> split(16, 0x80FA0A0A), tracking(16, 0x80FA0A0A);
    set_buffer(split, "split");
    set_buffer(tracking, "tracking");
    run("librururev.tovoCSplt(split, 8, 2, 10, 20, 10, -100, 0xFFFF0000, 5, 5, 0, 0)");
    run("librururev.tovoCTracking(tracking, 8, 2, 10, 20, 10, -100, 4294901760, 5, 5, -2, 0)");
    for (size_t i = 0; i < 16; i++) {
        EXPECT_EQ(split[i], i == 5 ? 0x80FA6D6Du : 0x80515151u) << i;
        // y0 of -2 is 2^32 - 2: no row lies that low, nothing is kept.
        EXPECT_EQ(tracking[i], 0x00FA0A0Au) << i;
    }
}
