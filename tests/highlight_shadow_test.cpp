// Highlight and shadow levels of the value and of the saturation, on the
// shared kernel and through Lua.
#include "adjust/hsv_filters.h"
#include "filter_cases.h"

using rururev::kernel::Component;

namespace {

struct LevelCase {
    const char* what;
    Component x;
    uint32_t in;
    int32_t t0, t1, t2, t3, cmax, cmin;
    uint32_t out;
};

constexpr Component V = Component::value;
constexpr Component S = Component::saturation;

const LevelCase level_cases[] = {
    {"alpha 0 untouched", V, 0x00C86532, 0, 255, 0, 0, 255, 0, 0x00C86532},
    {"alpha 0 untouched", S, 0x00C86532, 0, 255, 0, 0, 255, 0, 0x00C86532},
    // Neutral arguments still take the whole-degree hue round trip.
    {"neutral, lossy round trip", V, 0xFFC86532, 255, 0, 0, 100, 255, 0, 0xFFC86432},
    {"neutral, lossy round trip", S, 0xFFC86532, 255, 0, 0, 100, 255, 0, 0xFFC86432},
    {"inverted: 255 to 0", V, 0xFFFF0000, 0, 255, 0, 100, 255, 0, 0xFF000000},
    {"inverted: 0 to 255", V, 0xFF000000, 0, 255, 0, 100, 255, 0, 0xFFFFFFFF},
    {"inverted: 200 to 55", V, 0xFFC80000, 0, 255, 0, 100, 255, 0, 0xFF370000},
    {"inverted: 255 to 0", S, 0xFFFF0000, 0, 255, 0, 100, 255, 0, 0xFFFFFFFF},
    {"inverted: 0 to 255", S, 0xFF646464, 0, 255, 0, 100, 255, 0, 0xFF640000},
    {"inverted: 200 to 55", S, 0xFFFF3737, 0, 255, 0, 100, 255, 0, 0xFFFFC8C8},
    {"gain 0: black", V, 0xFF1E64C8, 255, 0, 0, 0, 255, 0, 0xFF000000},
    {"gain 0: grey at the value", S, 0xFF1E64C8, 255, 0, 0, 0, 255, 0, 0xFFC8C8C8},
    {"gain 50", V, 0xFFC86464, 255, 0, 0, 50, 255, 0, 0xFF643232},
    {"gain 50", S, 0xFFC86464, 255, 0, 0, 50, 255, 0, 0xFFC89696},
    {"cmin 100 above cmax 50", V, 0xFFFF0000, 255, 0, 0, 100, 50, 100, 0xFF320000},
    {"cmin 100 above cmax 50", S, 0xFFFF0000, 255, 0, 0, 100, 50, 100, 0xFFFFCDCD},
    {"1 * 128 / 255 rounds to 1", V, 0xFF010000, 128, 0, 0, 100, 255, 0, 0xFF010000},
    {"value 300 bounded by cmax", V, 0xFFC86464, 255, 0, 100, 100, 255, 0, 0xFFFF7F7F},
    {"value 300 clamped per channel", V, 0xFFC86464, 255, 0, 100, 100, 1000, 0, 0xFFFF9595},
    {"value -100 clamped per channel", V, 0xFFC86464, 255, 0, -300, 100, 255, -1000,
     0xFF000000},
    {"grey takes hue 0", S, 0xFF646464, 255, 51, 0, 100, 255, 0, 0xFF645050},
    // Arguments at the integer limits: no overflow, channels clamped.
    {"span 2^32 - 1", V, 0xFFC80000, INT32_MAX, INT32_MIN, 0, 100, INT32_MAX, INT32_MIN,
     0xFFFF0000},
    {"huge gain", V, 0xFFC86464, 255, 0, 0, INT32_MAX, INT32_MAX, INT32_MIN, 0xFFFFFFFF},
    {"huge gain", S, 0xFFC86464, 255, 0, 0, INT32_MAX, INT32_MAX, INT32_MIN, 0xFFC80000},
    {"huge negative gain", S, 0xFFC86464, 255, 0, 0, INT32_MIN, INT32_MAX, INT32_MIN,
     0xFFC8FFFF},
};

const char* name_of(Component x) {
    return x == Component::value ? "tovoHighShadow" : "tovoHighShadowDoder";
}

}  // namespace

TEST(HighlightShadowKernel, ExactWords) {
    for (const auto& c : level_cases) {
        uint32_t px = c.in;
        rururev::kernel::highlight_shadow(&px, 1, c.x, c.t0, c.t1, c.t2, c.t3, c.cmax, c.cmin);
        EXPECT_EQ(px, c.out) << name_of(c.x) << ": " << c.what << std::hex << ": got " << px;
    }
}

using HighlightShadowFilters = LuaTest;

TEST_F(HighlightShadowFilters, SameWordsThroughLua) {
    for (const auto& c : level_cases) {
        std::vector<uint32_t> px = {c.in};
        set_buffer(px);
        run(one_pixel_call(name_of(c.x), {c.t0, c.t1, c.t2, c.t3, c.cmax, c.cmin}));
        EXPECT_EQ(px[0], c.out) << name_of(c.x) << ": " << c.what;
    }
}
