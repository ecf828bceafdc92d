// N-stage quantisation: the band rule, grey mode, and the cut of the
// second form.
#include "filters/filter_functions.h"
#include "lua_fixture.h"

namespace {

uint32_t grey(uint32_t level, uint32_t alpha = 0xFF) {
    return alpha << 24 | level << 16 | level << 8 | level;
}

}  // namespace

// Colour mode on grey pixels: each channel goes through the band rule alone.
TEST(NStageKernel, BandRule) {
    const struct { int32_t t0; uint32_t in, out; } cases[] = {
        // One step, n 255: below the midpoint 127 goes down, the rest up.
        {1, 0, 0}, {1, 1, 0}, {1, 126, 0}, {1, 127, 255}, {1, 255, 255},
        // Two steps, n 127: levels 0, 127, 254; 63 is at the midpoint.
        {2, 62, 0}, {2, 63, 127}, {2, 189, 127}, {2, 190, 254}, {2, 255, 254},
        // Three steps, n 85: with an odd n the value just below the exact
        // midpoint already goes up.
        {3, 41, 0}, {3, 42, 85}, {3, 126, 85}, {3, 127, 170}, {3, 211, 170}, {3, 212, 255},
        // Four steps, n 63: 255 lies in band 4 below its midpoint.
        {4, 255, 252},
        // 19 steps, n 13: the last band's upper end 260 is held at 255.
        {19, 252, 247}, {19, 253, 255}, {19, 255, 255},
        // 20 steps, n 12: 253 to 255 lie above the last band and stay.
        {20, 245, 240}, {20, 246, 252}, {20, 252, 252}, {20, 253, 253}, {20, 255, 255},
        // n 1 from 128 steps on: nothing moves.
        {128, 77, 77}, {255, 254, 254}, {1000, 1, 1}, {INT32_MAX, 200, 200},
        // Step counts below 1 act as 1.
        {0, 127, 255}, {-5, 126, 0}, {INT32_MIN, 127, 255},
    };
    for (const auto& c : cases) {
        uint32_t word = grey(c.in);
        rururev::kernel::tovoNStage(&word, 1, c.t0, 0, 0, 0, false);
        EXPECT_EQ(word, grey(c.out)) << "t0 " << c.t0 << " level " << c.in;
    }
}

TEST(NStageKernel, ExactWords) {
    const struct {
        uint32_t in;
        int32_t t0, t1, t2, t3;
        bool chk0;
        uint32_t first, second;  // tovoNStage, tovoNStage2
    } cases[] = {
        // Colour mode: channels apart; the second form cuts a pixel with
        // any channel at 0.
        {0x80C8641E, 1, 0, 0, 0, false, 0x80FF0000, 0x00FF0000},
        {0x80C89682, 1, 0, 0, 0, false, 0x80FFFFFF, 0x80FFFFFF},
        {0x80000A0A, 255, 0, 0, 0, false, 0x80000A0A, 0x00000A0A},
        {0x80010A0A, 255, 0, 0, 0, false, 0x80010A0A, 0x80010A0A},
        // Offsets wrap modulo 256: 250 + 10 is 4, 5 - 10 is 251.
        {0x80FA0505, 255, 10, -10, 0, false, 0x8004FB05, 0x8004FB05},
        {0x80000000, 255, INT32_MIN, INT32_MAX, 256, false, 0x8000FF00, 0x0000FF00},
        // Grey mode: the weighted level rounded, then quantised; (200, 100,
        // 50) is 124.2 and (0, 255, 0) is 149.6.
        {0x80C86432, 255, 0, 0, 0, true, 0x807C7C7C, 0x807C7C7C},
        {0x8000FF00, 255, 0, 0, 0, true, 0x80969696, 0x80969696},
        {0x80C86432, 3, 0, 0, 0, true, 0x80555555, 0x80555555},
        {0x80C86432, 1, 0, 0, 0, true, 0x80000000, 0x00000000},
        {0x80000000, 4, 0, 0, 0, true, 0x80000000, 0x00000000},
        // Transparent pixels stay as they are in both forms.
        {0x00C86432, 1, 0, 0, 0, false, 0x00C86432, 0x00C86432},
        {0x00C86432, 1, 0, 0, 0, true, 0x00C86432, 0x00C86432},
    };
    for (const auto& c : cases) {
        uint32_t first = c.in, second = c.in;
        rururev::kernel::tovoNStage(&first, 1, c.t0, c.t1, c.t2, c.t3, c.chk0);
        rururev::kernel::tovoNStage2(&second, 1, c.t0, c.t1, c.t2, c.t3, c.chk0);
        EXPECT_EQ(first, c.first) << std::hex << c.in << std::dec << " t0 " << c.t0;
        EXPECT_EQ(second, c.second) << std::hex << c.in << std::dec << " t0 " << c.t0;
    }
}

using NStageFilters = LuaTest;

// chk0 is a boolean: the number 0 turns grey mode on.
TEST_F(NStageFilters, GreyModeSwitchThroughLua) {
    const struct { const char* call; uint32_t out; } cases[] = {
        {"librururev.tovoNStage(buf, 1, 1, 300)", 0x80C86432},
        {"librururev.tovoNStage(buf, 1, 1, 300, 0, 0, 0, 0)", 0x807C7C7C},
        {"librururev.tovoNStage2(buf, 1, 1, 1.9, 0, 0, 0, false)", 0x00FF0000},
        {"librururev.tovoNStage2(buf, 1, 1, 3, 0, 0, 0, true)", 0x80555555},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> px = {0x80C86432};
        set_buffer(px);
        run(c.call);
        EXPECT_EQ(px[0], c.out) << c.call;
    }
}
