// Gamma: the luma's power curve, identities, exponent and base extremes.
#include <cmath>
#include <limits>

#include "filters/filter_functions.h"
#include "lua_fixture.h"

TEST(GammaKernel, ExponentOneKeepsEveryColour) {
    // A stride through the colour cube that reaches both ends of each channel.
    std::vector<uint32_t> px;
    for (uint32_t c = 0; c <= 0xFFFFFF; c += 0x010307) px.push_back(0xFF000000 | c);
    px.push_back(0xFFFFFFFF);
    const std::vector<uint32_t> before = px;
    rururev::kernel::tovoGanma(px.data(), static_cast<uint32_t>(px.size()), 1.0f, 0, 0, 0);
    EXPECT_EQ(px, before);
}

TEST(GammaKernel, ExactWords) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        uint32_t in;
        float t0;
        int32_t offset;  // added to red, green and blue alike
        uint32_t out;
    } cases[] = {
        {0xFF808080, 0.5f, 0, 0xFFB5B5B5},  // 128 -> 181
        {0xFF6496C8, 0.5f, 0, 0xFF95C7F9},  // (100, 150, 200) -> (149, 199, 249)
        {0xFF808080, 2.0f, 0, 0xFF404040},  // 128 -> 64
        {0xFF404040, 2.2f, 0, 0xFF0C0C0C},  // 64 -> 12
        // Exponent 0: the power is 1, so the luma is 255 whatever the pixel.
        {0xFF000000, 0.0f, 0, 0xFFFFFFFF},
        {0xFFFF0000, 0.0f, 0, 0xFFFFB3B3},
        // Negative exponents: dark pixels go white, black's power is infinite.
        {0xFF0A0A0A, -1.0f, 0, 0xFFFFFFFF},
        {0xFF000000, -1.0f, 0, 0xFFFFFFFF},
        // A negative base (grey 50 less 100): squared is positive, cubed
        // negative, and a fractional power is not a number; all settle.
        {0xFF323232, 2.0f, -100, 0xFF0A0A0A},
        {0xFF323232, 3.0f, -100, 0xFF000000},
        {0xFF323232, 0.5f, -100, 0xFF000000},
        {0xFF808080, nan, 0, 0xFF000000},
        // Infinite and huge levels clamp by their sign.
        {0xFF808080, inf, 0, 0xFF000000},
        {0xFF000000, 10.0f, INT32_MAX, 0xFFFFFFFF},
        {0xFF000000, 3.0f, INT32_MIN, 0xFF000000},
        {0xFF000000, 1.0f, INT32_MAX, 0xFFFFFFFF},
        // Transparent pixels are converted too; alpha stays.
        {0x00808080, 2.0f, 0, 0x00404040},
        {0x7F808080, 2.0f, 0, 0x7F404040},
    };
    for (const auto& c : cases) {
        uint32_t word = c.in;
        rururev::kernel::tovoGanma(&word, 1, c.t0, c.offset, c.offset, c.offset);
        EXPECT_EQ(word, c.out) << std::hex << c.in << std::dec << " t0 " << c.t0 << " offset "
                               << c.offset;
    }
}

// Runs of equal words, starting with the word 0, each get their own result.
TEST(GammaKernel, RunsOfEqualWords) {
    std::vector<uint32_t> px = {0x00000000, 0x00000000, 0xFF000000, 0xFF000000, 0x00000000};
    rururev::kernel::tovoGanma(px.data(), 5, 0.0f, 0, 0, 0);
    EXPECT_EQ(px, (std::vector<uint32_t>{0x00FFFFFF, 0x00FFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                                          0x00FFFFFF}));
}

using GammaFilter = LuaTest;

// The exponent is a float, not truncated; the offsets are per channel.
TEST_F(GammaFilter, ExponentAndOffsetsThroughLua) {
    const struct { const char* call; uint32_t out; } cases[] = {
        {"librururev.tovoGanma(buf, 1, 1, 0.5)", 0x80B5B5B5},
        {"librururev.tovoGanma(buf, 1, 1, '2')", 0x80404040},
        {"librururev.tovoGanma(buf, 1, 1, 0/0)", 0x80000000},
        {"librururev.tovoGanma(buf, 1, 1, 1, 127, 0, -128)", 0x80FF8000},
        {"librururev.tovoGanma(buf, 1, 1, 1, 10.9, -10.9, 0)", 0x808A7680},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> px = {0x80808080};
        set_buffer(px);
        run(c.call);
        EXPECT_EQ(px[0], c.out) << c.call;
    }
}
