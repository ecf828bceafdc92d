// Random alpha: one draw per visible pixel, in index order, from the seed.
#include <cstdlib>

#include "filters/filter_functions.h"
#include "lua_fixture.h"

namespace {

// Visible and transparent pixels mixed, so draws and indices differ.
std::vector<uint32_t> mixed_image() {
    std::vector<uint32_t> px;
    for (uint32_t i = 0; i < 64; i++) px.push_back(i % 3 == 1 ? 0x00123456 : 0xFF000000 | i);
    return px;
}

}  // namespace

// The expected words come from rand() drawn here after the same srand.
TEST(RandomAlphaKernel, DrawsOncePerVisiblePixelInIndexOrder) {
    std::vector<uint32_t> px = mixed_image(), expected = px;
    rururev::kernel::tovoAlp0(px.data(), 64, 50, 1234, 50);
    const int after_call = std::rand();
    std::srand(1234);
    for (uint32_t& word : expected) {
        if (word >> 24 == 0) continue;
        if (std::rand() % 10001 / 100 >= 50) word = (word & 0x00FFFFFF) | 0x7F000000;
    }
    EXPECT_EQ(px, expected);
    // The generator is left where the call's last draw ended.
    EXPECT_EQ(after_call, std::rand());
}

TEST(RandomAlphaKernel, ThresholdEndsAndNewAlpha) {
    const struct { int32_t t0, t2; uint32_t visible_out; } cases[] = {
        {0, 0, 0x00000011}, {0, 50, 0x7F000011}, {0, 100, 0xFF000011},
        {0, 101, 0x01000011},                    // 257 keeps its low 8 bits
        {0, -1, 0xFE000011},                     // -2 as well
        {0, INT32_MAX, 0x63000011},              // 5476083299, computed wide
        {-5, 20, 0x33000011},
        {101, 0, 0x80000011}, {INT32_MAX, 0, 0x80000011},  // no draw reaches t0
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> px = {0x80000011, 0x00000022, 0x80000011};
        rururev::kernel::tovoAlp0(px.data(), 3, c.t0, 7, c.t2);
        EXPECT_EQ(px, (std::vector<uint32_t>{c.visible_out, 0x00000022, c.visible_out}))
            << "t0 " << c.t0 << " t2 " << c.t2;
    }
}

using RandomAlphaFilter = LuaTest;

TEST_F(RandomAlphaFilter, SameSeedSameWords) {
    std::vector<uint32_t> first = mixed_image(), second = mixed_image(), other = mixed_image();
    set_buffer(first, "a");
    set_buffer(second, "b");
    set_buffer(other, "c");
    run("librururev.tovoAlp0(a, 8, 8, 30, 99, 0)\n"
        "math.random()  -- the host's own draws between calls do not matter\n"
        "librururev.tovoAlp0(b, 8, 8, 30, 99.7, 0)\n"
        "librururev.tovoAlp0(c, 8, 8, 30, 100, 0)");
    EXPECT_EQ(first, second);
    EXPECT_NE(first, mixed_image());
    EXPECT_NE(first, other);
}
