// Channel offsets, on the kernels and through Lua.
#include "filters/filter_functions.h"
#include "lua_fixture.h"

namespace {

struct OffsetCase {
    uint32_t in;
    int32_t t0, t1, t2, t3;
    uint32_t all;      // tovoRGB
    uint32_t visible;  // tovoRGB2
};

const OffsetCase offset_cases[] = {
    // Zero offsets keep every word.
    {0x00000000, 0, 0, 0, 0, 0x00000000, 0x00000000},
    {0x12345678, 0, 0, 0, 0, 0x12345678, 0x12345678},
    // Alpha 0: tovoRGB offsets it like any pixel, tovoRGB2 leaves it alone.
    {0x000A0000, 5, 0, 0, 20, 0x140F0000, 0x000A0000},
    // Alpha 1 is visible.
    {0x010A0000, 5, 0, 0, 20, 0x150F0000, 0x150F0000},
    // Clamps at both ends, per channel, without wrapping.
    {0xFFFA0505, 10, -10, 0, 0, 0xFFFF0005, 0xFFFF0005},
    {0x80050000, -10, 0, 0, 0, 0x80000000, 0x80000000},
    {0x80102030, 0, 0, 0, -255, 0x00102030, 0x00102030},
    {0x80102030, 300, -300, 255, 200, 0xFFFF00FF, 0xFFFF00FF},
    // Offsets at the ends of the integer range clamp instead of overflowing.
    {0x80102030, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, 0x00FF00FF, 0x00FF00FF},
};

}  // namespace

TEST(OffsetKernels, ExactWords) {
    for (const auto& c : offset_cases) {
        uint32_t a = c.in, b = c.in;
        rururev::kernel::tovoRGB(&a, 1, c.t0, c.t1, c.t2, c.t3);
        rururev::kernel::tovoRGB2(&b, 1, c.t0, c.t1, c.t2, c.t3);
        EXPECT_EQ(a, c.all) << std::hex << c.in;
        EXPECT_EQ(b, c.visible) << std::hex << c.in;
    }
}

using OffsetFilters = LuaTest;

TEST_F(OffsetFilters, SameWordsThroughLua) {
    for (const auto& c : offset_cases) {
        std::vector<uint32_t> a = {c.in}, b = {c.in};
        set_buffer(a, "a");
        set_buffer(b, "b");
        const std::string args = std::to_string(c.t0) + "," + std::to_string(c.t1) + "," +
                                 std::to_string(c.t2) + "," + std::to_string(c.t3);
        run("librururev.tovoRGB(a, 1, 1, " + args + ")");
        run("librururev.tovoRGB2(b, 1, 1, " + args + ")");
        EXPECT_EQ(a[0], c.all) << args;
        EXPECT_EQ(b[0], c.visible) << args;
    }
}

TEST_F(OffsetFilters, TruncatedOffsetsOverAWholeImage) {
    std::vector<uint32_t> px = {0xFF646464, 0x00646464, 0x01646464, 0x80000000};
    set_buffer(px);
    run("librururev.tovoRGB2(buf, 2, 2, 12.7, -12.7, 0.9, -0.9)");
    EXPECT_EQ(px, (std::vector<uint32_t>{0xFF705864, 0x00646464, 0x01705864, 0x800C0000}));
}
