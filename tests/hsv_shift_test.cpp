// HSV shifts: tovoHSV through the double-precision pair, tovoHSV2 through the
// 8-bit pair near a reference colour. On the kernels and through Lua.
#include "adjust/hsv_filters.h"
#include "filter_cases.h"

namespace {

const FourIntCase hsv_cases[] = {
    {"lossy round trip", 0xFFFF00C8, 0, 0, 0, 0, 0xFFFF00CC},
    {"exact round trip", 0xFF0A141E, 0, 0, 0, 0, 0xFF0A141E},
    {"saturation added to grey", 0xFF808080, 0, 100, 0, 0, 0xFF804E4E},
    {"saturation clamped at 255", 0xFF808080, 0, 1000, 0, 0, 0xFF800000},
    {"saturation clamped at 0", 0xFFFF0000, 0, -255, 0, 0, 0xFFFFFFFF},
    {"value lowered", 0xFFFF0000, 0, 0, -55, 0, 0xFFC80000},
    {"value clamped at 255", 0xFFC80000, 0, 0, 100, 0, 0xFFFF0000},
    {"hue added: red to green", 0xFFFF0000, 120, 0, 0, 0, 0xFF00FF00},
    {"hue 360 wraps: blue to red", 0xFF0000FF, 120, 0, 0, 0, 0xFFFF0000},
    {"hue 10", 0xFFFF0000, 10, 0, 0, 0, 0xFFFF2A00},
    // 370 / 60 rounds differently from 10 / 60: green lands on 43, not 42.
    {"hue 370 acts as 10", 0xFFFF0000, 370, 0, 0, 0, 0xFFFF2B00},
    {"hue -10 gets 360 once", 0xFFFF0000, -10, 0, 0, 0, 0xFFFF002B},
    {"hue -360", 0xFFFF0000, -360, 0, 0, 0, 0xFFFF0000},
    {"hue -370 goes round the wheel", 0xFFFF0000, -370, 0, 0, 0, 0xFFFF002B},
    {"hue INT32_MIN is 232", 0xFFFF0000, INT32_MIN, 0, 0, 0, 0xFF0022FF},
    {"alpha added and clamped", 0xC8102030, 0, 0, 0, 100, 0xFF102030},
    {"alpha lowered to 0", 0xC8FF0000, 0, 0, 0, -250, 0x00FF0000},
    {"alpha 1 is visible", 0x01FF0000, 120, 0, 0, 0, 0x0100FF00},
    {"alpha 0 untouched", 0x00102030, 50, 50, 50, 100, 0x00102030},
    {"limits: white, transparent", 0x80FF0000, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN,
     0x00FFFFFF},
    {"limits: black, opaque", 0x80FF0000, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, 0xFF000000},
};

struct Hsv2Case {
    const char* what;
    uint32_t in;
    int32_t t0, t1, t2, t3;
    uint32_t t4;
    int32_t t5;
    uint32_t out;
};

const Hsv2Case hsv2_cases[] = {
    {"exact match, lossy round trip", 0xFFFF00C8, 0, 0, 0, 0, 0xFF00C8, 0, 0xFFFF00CC},
    {"one level off with t5 0", 0xFFFE00C8, 0, 0, 0, 0, 0xFF00C8, 0, 0xFFFE00C8},
    {"negative t5 matches nothing", 0xFFFF00C8, 0, 0, 0, 0, 0xFF00C8, -1, 0xFFFF00C8},
    {"window edges included", 0xFF6E5A64, 0, 255, 0, 0, 0x646464, 10, 0xFF6E6E6E},
    {"red above the window", 0xFF6F6464, 120, 255, 0, 0, 0x646464, 10, 0xFF6F6464},
    {"green below the window", 0xFF645964, 120, 255, 0, 0, 0x646464, 10, 0xFF645964},
    {"blue above the window", 0xFF64646F, 120, 255, 0, 0, 0x646464, 10, 0xFF64646F},
    {"alpha byte of t4 ignored", 0x400000FF, 120, 0, 0, 0, 0x000000FF, 0, 0x4000FF00},
    {"alpha 0 untouched", 0x000000FF, 120, 0, 0, 0, 0x000000FF, 0, 0x000000FF},
    {"hue subtracted: red to blue", 0xFFFF0000, 120, 0, 0, 0, 0xFF0000, 0, 0xFF0000FF},
    {"hue -120: red to green", 0xFFFF0000, -120, 0, 0, 0, 0xFF0000, 0, 0xFF00FF00},
    {"hue 400 acts as 40", 0xFFFF0000, -400, 0, 0, 0, 0xFF0000, 0, 0xFFFFAA00},
    {"saturation subtracted", 0xFF808080, 0, -100, 0, 0, 0x808080, 0, 0xFF804E4E},
    {"hue -30 plus 360", 0xFF808080, 30, -100, 0, 0, 0x808080, 0, 0xFF804E67},
    {"saturation to 0", 0xFFFF0000, 0, 255, 0, 0, 0xFF0000, 0, 0xFFFFFFFF},
    {"value subtracted", 0xFFFF0000, 0, 0, 55, 0, 0xFF0000, 0, 0xFFC80000},
    {"value clamped at 255", 0xFFFF0000, 0, 0, -100, 0, 0xFF0000, 0, 0xFFFF0000},
    {"brightness first, value 280 clamped", 0xFFE66464, 0, 0, 0, 50, 0xE66464, 0, 0xFFFF8989},
    {"brightness below black", 0xFF000000, 0, 0, 0, -10, 0x000000, 0, 0xFF000000},
    // t0 above 360 leaves the hue negative: hue -40 has no sector and keeps
    // the brightened channels; hue -360 is sector 0.
    {"hue -40: channels kept", 0xFFFF0000, 400, 255, 0, 0, 0xFF0000, 0, 0xFFFF0000},
    {"hue -40: brightened kept", 0xFFC83232, 400, 255, 0, 10, 0xC83232, 0, 0xFFD23C3C},
    {"hue -360 is sector 0", 0xFFFF0000, 720, 255, 0, 0, 0xFF0000, 0, 0xFFFFFFFF},
    {"huge brightness: white", 0xFF646464, 0, 0, 0, INT32_MAX, 0x646464, 0, 0xFFFFFFFF},
    {"huge darkening: black", 0xFF646464, 0, 0, 0, INT32_MIN, 0x646464, 0, 0xFF000000},
    {"t5 INT32_MAX from white", 0xFFC83232, 0, 255, 0, 0, 0xFFFFFF, INT32_MAX, 0xFFC8C8C8},
    {"t5 INT32_MIN matches nothing", 0xFFC83232, 0, 0, 200, 0, 0xC83232, INT32_MIN, 0xFFC83232},
};

}  // namespace

TEST(HsvShiftKernels, TovoHSV) { expect_kernel_words(rururev::kernel::tovoHSV, hsv_cases); }

TEST(HsvShiftKernels, TovoHSV2) {
    for (const auto& c : hsv2_cases) {
        uint32_t px = c.in;
        rururev::kernel::tovoHSV2(&px, 1, c.t0, c.t1, c.t2, c.t3, c.t4, c.t5);
        EXPECT_EQ(px, c.out) << c.what << std::hex << ": got " << px;
    }
}

// Each pixel stands on its own: a neighbour's colour never leaks into it.
TEST(HsvShiftKernels, PixelsAreIndependent) {
    std::vector<uint32_t> px = {0xFF00FF00, 0xFFFF0000, 0x00000000, 0xFFFF0000};
    rururev::kernel::tovoHSV(px.data(), 4, -370, 0, 0, 0);
    EXPECT_EQ(px, (std::vector<uint32_t>{0xFF2BFF00, 0xFFFF002B, 0x00000000, 0xFFFF002B}));
}

using HsvShiftFilters = FourIntFilterTest;

TEST_F(HsvShiftFilters, SameWordsThroughLua) {
    expect_lua_words("tovoHSV", hsv_cases);
    for (const auto& c : hsv2_cases) {
        std::vector<uint32_t> px = {c.in};
        set_buffer(px);
        run(one_pixel_call("tovoHSV2", {c.t0, c.t1, c.t2, c.t3, c.t4, c.t5}));
        EXPECT_EQ(px[0], c.out) << c.what;
    }
}

TEST_F(HsvShiftFilters, ReferenceColourArrivesAsAWord) {
    // -16776961 is 0xFF0000FF modulo 2^32: pure blue with alpha 255.
    std::vector<uint32_t> px = {0xFF0000FF, 0x800000FF, 0xFF0000FE, 0x000000FF};
    set_buffer(px);
    run("librururev.tovoHSV2(buf, 2, 2, 120.9, 0, 0, 0, -16776961, 0.5)");
    EXPECT_EQ(px, (std::vector<uint32_t>{0xFF00FF00, 0x8000FF00, 0xFF0000FE, 0x000000FF}));
}
