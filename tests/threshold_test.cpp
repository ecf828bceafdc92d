// Two-level threshold: 8-bit offsets, the wrapped threshold and both levels.
#include "filters/filter_functions.h"
#include "lua_fixture.h"

TEST(ThresholdKernel, ExactWords) {
    const struct {
        uint32_t in;
        int32_t t0, t1, t2, t3;
        uint8_t t4;
        int32_t t5, t6;
        uint32_t out;
    } cases[] = {
        // (200, 100, 50): mean 116, weighted 124.2; only red lies above.
        {0xFFC86432, 0, 0, 0, 0, 1, 255, 0, 0xFFFF0000},
        {0xFFC86432, 0, 0, 0, 0, 0, 255, 0, 0xFFFF0000},
        // (60, 120, 250): green lies above the weighted 116.9, not the mean 143.
        {0x803C78FA, 0, 0, 0, 0, 1, 255, 0, 0x800000FF},
        {0x803C78FA, 0, 0, 0, 0, 7, 255, 0, 0x8000FFFF},
        // (0, 5, 15): the weighted 4.65 is floored, so green 5 lies above it.
        {0x8000050F, 0, 0, 0, 0, 0, 200, 17, 0x8011C8C8},
        // A grey never exceeds its own mean: equal is not above.
        {0xFF646464, 0, 0, 0, 0, 1, 255, 0, 0xFF000000},
        // Offsets wrap modulo 256 before the threshold: red 250 + 10 is 4
        // (mean 68), red 5 - 10 is 251 (mean 150).
        {0xFFFA6464, 10, 0, 0, 0, 1, 255, 0, 0xFF00FFFF},
        {0xFF056464, -10, 0, 0, 0, 1, 255, 0, 0xFFFF0000},
        {0xFF64FA05, 0, 10, -10, 0, 1, 255, 0, 0xFF0000FF},
        // The threshold wraps too: 100 - 200 is 156, 100 + 200 is 44.
        {0xFF646464, 0, 0, 0, 200, 1, 255, 0, 0xFF000000},
        {0xFF646464, 0, 0, 0, -200, 1, 255, 0, 0xFFFFFFFF},
        // Whatever the size of t3: 30 + 2147483628 and 30 - 2147483412 are 10
        // modulo 256, 30 + 2^31 is 30.
        {0xFF1E1E1E, 0, 0, 0, -2147483628, 1, 255, 0, 0xFFFFFFFF},
        {0xFF1E1E1E, 0, 0, 0, INT32_MIN, 1, 255, 0, 0xFF000000},
        {0xFF1E1E1E, 0, 0, 0, 2147483412, 0, 255, 0, 0xFFFFFFFF},
        // Levels clamp to 0..255; alpha is kept; transparent pixels stay.
        {0x01C86432, 0, 0, 0, 0, 1, 300, -5, 0x01FF0000},
        {0x42C86432, 0, 0, 0, 0, 1, -1, 256, 0x4200FFFF},
        {0x00C86432, 0, 0, 0, 0, 1, 255, 0, 0x00C86432},
    };
    for (const auto& c : cases) {
        uint32_t word = c.in;
        rururev::kernel::tovo2Pns(&word, 1, c.t0, c.t1, c.t2, c.t3, c.t4, c.t5, c.t6);
        EXPECT_EQ(word, c.out) << std::hex << c.in << std::dec << " t3 " << c.t3 << " t4 "
                               << int{c.t4};
    }
}

using ThresholdFilter = LuaTest;

// t4 is read as a number: 1 and 257 select the mean; true reads as 0.
TEST_F(ThresholdFilter, ModeReadsAsAnEightBitNumber) {
    const struct { const char* call; uint32_t out; } cases[] = {
        {"librururev.tovo2Pns(buf, 1, 1, 0, 0, 0, 0, 1, 255, 0)", 0x800000FF},
        {"librururev.tovo2Pns(buf, 1, 1, 0, 0, 0, 0, 257, 255, 0)", 0x800000FF},
        {"librururev.tovo2Pns(buf, 1, 1, 0, 0, 0, 0, 1.9, 255, 0)", 0x800000FF},
        {"librururev.tovo2Pns(buf, 1, 1, 0, 0, 0, 0, true, 255, 0)", 0x8000FFFF},
        {"librururev.tovo2Pns(buf, 1, 1, 0, 0, 0, 0, 256, 255, 0)", 0x8000FFFF},
        {"librururev.tovo2Pns(buf, 1, 1, 0, 0, 0, 0, nil, 255, 0)", 0x8000FFFF},
        {"librururev.tovo2Pns(buf, 1, 1, 0, 0, 0, 0, 1)", 0x80000000},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> px = {0x803C78FA};
        set_buffer(px);
        run(c.call);
        EXPECT_EQ(px[0], c.out) << c.call;
    }
}
