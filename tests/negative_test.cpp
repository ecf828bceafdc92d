// Toned monochrome negative, on the kernel and through Lua.
#include "adjust/hsv_filters.h"
#include "filter_cases.h"

namespace {

const FourIntCase nega_cases[] = {
    {"negative of white", 0xFFFFFFFF, 0, 0, 255, 0, 0xFF000000},
    {"negative of black", 0xFF000000, 0, 0, 255, 0, 0xFFFFFFFF},
    {"negative of grey 100", 0xFF646464, 0, 0, 255, 0, 0xFF9B9B9B},
    {"negative of red: grey 76 reflected", 0xFFFF0000, 0, 0, 255, 0, 0xFFB3B3B3},
    {"pivot 0 keeps the grey level", 0xFFFF0000, 0, 0, 0, 0, 0xFF4C4C4C},
    {"pivot 128 from 0", 0xFF000000, 0, 0, 128, 0, 0xFF808080},
    {"pivot 128 from 255", 0xFFFFFFFF, 0, 0, 128, 0, 0xFF7F7F7F},
    {"pivot 128 from 128", 0xFF808080, 0, 0, 128, 0, 0xFF000000},
    {"t3 darkens", 0xFF646464, 0, 0, 0, 50, 0xFF323232},
    {"t3 below black, reflected", 0xFF1E1E1E, 0, 0, 255, 50, 0xFFFFFFFF},
    {"toned red", 0xFF000000, 0, 255, 255, 0, 0xFFFF0000},
    {"toned white is black", 0xFFFFFFFF, 0, 255, 255, 0, 0xFF000000},
    {"t0 240 is hue 120", 0xFF000000, 240, 255, 255, 0, 0xFF00FF00},
    {"t0 120 is hue 240", 0xFF000000, 120, 255, 255, 0, 0xFF0000FF},
    {"t0 -30 is hue 30, half rounded up", 0xFF000000, -30, 255, 255, 0, 0xFFFF8000},
    {"t0 -390 is hue 390, acts as 30", 0xFF000000, -390, 255, 255, 0, 0xFFFF8000},
    {"t1 -300 acts as 255", 0xFF000000, 0, -300, 255, 0, 0xFFFF0000},
    // t0 above 360 leaves the hue negative: -40 has no sector and the pixel
    // is its plain grey level; -360 is sector 0 and is toned.
    {"t0 400: plain grey 100", 0xFF646464, 400, 255, 255, 0, 0xFF646464},
    {"t0 400: plain grey of red", 0xFFFF0000, 400, 255, 255, 0, 0xFF4C4C4C},
    {"t0 720 is sector 0", 0xFF000000, 720, 255, 255, 0, 0xFFFF0000},
    {"alpha 0 untouched", 0x00123456, 0, 255, 255, 0, 0x00123456},
    {"alpha kept", 0x80000000, 0, 255, 255, 0, 0x80FF0000},
    {"t1 INT32_MIN acts as 255", 0xFF000000, 0, INT32_MIN, 255, 0, 0xFFFF0000},
    {"t0 INT32_MIN, no saturation", 0xFF000000, INT32_MIN, 0, 255, 0, 0xFFFFFFFF},
    {"t2 INT32_MIN", 0xFF646464, 0, 0, INT32_MIN, 0, 0xFFFFFFFF},
    {"t3 INT32_MIN", 0xFF646464, 0, 0, 0, INT32_MIN, 0xFFFFFFFF},
};

}  // namespace

TEST(NegativeKernel, ExactWords) { expect_kernel_words(rururev::kernel::tovoNega, nega_cases); }

// Pixels sharing a grey level share a colour; others get their own.
TEST(NegativeKernel, WholeImage) {
    std::vector<uint32_t> px = {0xFF000000, 0x10000000, 0x00000000, 0xFFFFFFFF, 0x20FFFFFF};
    rururev::kernel::tovoNega(px.data(), 5, -30, 255, 255, 0);
    EXPECT_EQ(px, (std::vector<uint32_t>{0xFFFF8000, 0x10FF8000, 0x00000000, 0xFF000000,
                                         0x20000000}));
}

using NegativeFilter = FourIntFilterTest;

TEST_F(NegativeFilter, SameWordsThroughLua) { expect_lua_words("tovoNega", nega_cases); }
