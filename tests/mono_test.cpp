// Monochrome: the weighted grey, its truncation and clamps, weight shifts.
#include "filters/filter_functions.h"
#include "lua_fixture.h"

TEST(MonoKernel, ExactWords) {
    const struct {
        uint32_t in;
        int32_t t0, t1, t2, t3;
        bool t4;
        uint32_t out;
    } cases[] = {
        // Primaries: 76.2, 149.6 and 29.2, truncated.
        {0xFFFF0000, 0, 0, 0, 0, false, 0xFF4C4C4C},
        {0xFF00FF00, 0, 0, 0, 0, false, 0xFF959595},
        {0xFF0000FF, 0, 0, 0, 0, false, 0xFF1D1D1D},
        {0xFFFFFFFF, 0, 0, 0, 0, false, 0xFFFFFFFF},
        // Greys keep their level, shifts on or off; alpha never changes.
        {0x80010101, 0, 0, 0, 0, false, 0x80010101},
        {0x80646464, 0, 0, 0, 0, true, 0x80646464},
        {0x01FEFEFE, 0, 0, 0, 0, true, 0x01FEFEFE},
        // Transparent pixels keep their colour; alpha 1 is visible.
        {0x00FF0000, 0, 0, 0, 0, false, 0x00FF0000},
        {0x01FF0000, 0, 0, 0, 0, false, 0x014C4C4C},
        // Without t4 the shifts are ignored.
        {0xFFFF0000, 255, -255, 99, 0, false, 0xFF4C4C4C},
        // Shifts are floating-point 255ths: 51 adds 0.2 (49.89 for red 100),
        // -51 takes 0.2 off green (98.59 for green 255).
        {0xFF640000, 51, 0, 0, 0, true, 0xFF313131},
        {0xFF00FF00, 0, -51, 0, 0, true, 0xFF626262},
        // The sum clamps at both ends: 331 and about -178.
        {0xFFFF0000, 255, 0, 0, 0, true, 0xFFFFFFFF},
        {0xFFFF0000, -255, 0, 0, 0, true, 0xFF000000},
        // The offset applies before weighting, unclamped and summed wide.
        {0x7F102030, 0, 0, 0, -300, false, 0x7F000000},
        {0x7F102030, 0, 0, 0, 300, false, 0x7FFFFFFF},
        {0x7F102030, 0, 0, 0, INT32_MAX, true, 0x7FFFFFFF},
        {0x7F102030, 0, 0, 0, INT32_MIN, true, 0x7F000000},
        {0xFF000000, 0, 0, 0, 100, false, 0xFF646464},
    };
    for (const auto& c : cases) {
        uint32_t word = c.in;
        rururev::kernel::tovoMono(&word, 1, c.t0, c.t1, c.t2, c.t3, c.t4);
        EXPECT_EQ(word, c.out) << std::hex << c.in << std::dec << " t0 " << c.t0 << " t1 " << c.t1
                               << " t3 " << c.t3 << " t4 " << c.t4;
    }
}

using MonoFilter = LuaTest;

// t4 is a boolean: only nil, false and a missing argument leave it off.
TEST_F(MonoFilter, ShiftSwitchReadsAsABoolean) {
    const struct { const char* call; uint32_t out; } cases[] = {
        {"librururev.tovoMono(buf, 1, 1, 255)", 0xFF4C4C4C},
        {"librururev.tovoMono(buf, 1, 1, 255, 0, 0, 0, false)", 0xFF4C4C4C},
        {"librururev.tovoMono(buf, 1, 1, 255, 0, 0, 0, nil)", 0xFF4C4C4C},
        {"librururev.tovoMono(buf, 1, 1, 255, 0, 0, 0, 0)", 0xFFFFFFFF},
        {"librururev.tovoMono(buf, 1, 1, 51.9, 0, 0, 0, true)", 0xFF7F7F7F},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> px = {0xFFFF0000};
        set_buffer(px);
        run(c.call);
        EXPECT_EQ(px[0], c.out) << c.call;
    }
}
