// Argument conversions: truncation, 32-bit wrap of words, and saturation of
// everything a plain C++ cast would turn into undefined behaviour.
#include <cfloat>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "lua/convert.h"

using namespace rururev;

namespace {
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

TEST(Convert, IntTruncatesTowardZeroAndSaturates) {
    const struct { double in; int32_t out; } cases[] = {
        {3.9, 3}, {-3.9, -3}, {12.7, 12}, {-12.7, -12}, {0.0, 0}, {-0.0, 0},
        {2147483647.0, INT32_MAX}, {2147483647.9, INT32_MAX}, {2147483648.0, INT32_MAX},
        {-2147483648.0, INT32_MIN}, {-2147483648.9, INT32_MIN}, {-1e300, INT32_MIN},
        {1e300, INT32_MAX}, {kInf, INT32_MAX}, {-kInf, INT32_MIN}, {kNaN, 0},
        {-2147483649.0, INT32_MIN}, {0x1p32, INT32_MAX}, {-0x1p32, INT32_MIN},
        {0x1p63, INT32_MAX}, {-0x1p63, INT32_MIN}, {0x1p64, INT32_MAX}, {-0x1p64, INT32_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(to_int(c.in), c.out) << c.in;
}

// The 64-bit step that words go through, exactly at and next to its ends.
TEST(Convert, Int64SaturatesAtTheEndsOfItsRange) {
    const struct { double in; int64_t out; } cases[] = {
        {0x1p63 - 1024, INT64_MAX - 1023}, {0x1p63, INT64_MAX}, {0x1p64, INT64_MAX},
        {-0x1p63, INT64_MIN}, {-0x1p63 - 2048, INT64_MIN}, {-0x1p64, INT64_MIN},
        {0x1p31, 2147483648}, {-0x1p31, -2147483648}, {kNaN, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(to_int64(c.in), c.out) << c.in;
}

TEST(Convert, DwordKeepsLow32BitsOfTheTruncatedValue) {
    const struct { double in; uint32_t out; } cases[] = {
        {2.9, 2u}, {-1.0, 0xFFFFFFFFu}, {-1.9, 0xFFFFFFFFu}, {4294967295.0, 0xFFFFFFFFu},
        {4294967296.0, 0u}, {4294967297.5, 1u}, {0xFF00FF00 * 1.0, 0xFF00FF00u},
        {-2147483648.0, 0x80000000u}, {kNaN, 0u},
        // Beyond the 64-bit range the intermediate saturates first.
        {1e300, 0xFFFFFFFFu}, {kInf, 0xFFFFFFFFu}, {-1e300, 0u}, {-kInf, 0u},
        {0x1p31, 0x80000000u}, {-0x1p31, 0x80000000u}, {0x1p32, 0u}, {-0x1p32, 0u},
        {0x1p63 - 1024, 0xFFFFFC00u}, {0x1p63, 0xFFFFFFFFu}, {-0x1p63, 0u},
        {0x1p64, 0xFFFFFFFFu}, {-0x1p64, 0u},
    };
    for (const auto& c : cases) EXPECT_EQ(to_dword(c.in), c.out) << c.in;
}

TEST(Convert, ByteKeepsLow8Bits) {
    const struct { double in; uint8_t out; } cases[] = {
        {1.0, 1}, {257.0, 1}, {256.0, 0}, {-1.0, 255}, {255.9, 255}, {-0.5, 0}, {kNaN, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(to_byte(c.in), c.out) << c.in;
}

TEST(Convert, FloatRoundsToSinglePrecision) {
    EXPECT_EQ(to_float(0.45), 0.45f);
    EXPECT_EQ(to_float(1.0 + 0x1p-30), 1.0f);
    EXPECT_EQ(to_float(FLT_MAX), FLT_MAX);
    EXPECT_EQ(to_float(0x1.fffffefp127), FLT_MAX);  // below the halfway point
    EXPECT_EQ(to_float(0x1.ffffffp127), HUGE_VALF);  // the tie rounds to even: up
    EXPECT_EQ(to_float(-1e300), -HUGE_VALF);
    EXPECT_EQ(to_float(kInf), HUGE_VALF);
    EXPECT_TRUE(std::isnan(to_float(kNaN)));
}
