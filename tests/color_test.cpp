// The two HSV conversion pairs: documented triples, rounding cases, and the
// exactness of the 8-bit forward conversion over every colour.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/pixel.h"

using namespace rururev;

namespace {
struct Rgb { int r, g, b; };
struct Hsv { double h, s, v; };
bool operator==(const Rgb& x, const Rgb& y) { return x.r == y.r && x.g == y.g && x.b == y.b; }
std::ostream& operator<<(std::ostream& o, const Rgb& c) {
    return o << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
}  // namespace

TEST(RGB2HSV, DocumentedTriples) {
    const struct { Rgb in; Hsv out; } cases[] = {
        {{255, 0, 0}, {0, 255, 255}},     {{0, 255, 0}, {120, 255, 255}},
        {{0, 0, 255}, {240, 255, 255}},   {{255, 255, 0}, {60, 255, 255}},
        {{0, 255, 255}, {180, 255, 255}}, {{255, 0, 255}, {300, 255, 255}},
        {{0, 0, 0}, {0, 0, 0}},           {{128, 128, 128}, {0, 0, 128}},
        {{1, 200, 0}, {120, 255, 200}},   {{0, 200, 1}, {120, 255, 200}},
        {{10, 200, 0}, {117, 255, 200}},  {{255, 0, 1}, {359, 255, 255}},
        {{255, 254, 254}, {0, 1, 255}},   {{200, 100, 100}, {0, 128, 200}},
    };
    for (const auto& c : cases) {
        double h = -1, s = -1, v = -1;
        RGB2HSV(c.in.r, c.in.g, c.in.b, &h, &s, &v);
        EXPECT_EQ(h, c.out.h) << c.in;
        EXPECT_EQ(s, c.out.s) << c.in;
        EXPECT_EQ(v, c.out.v) << c.in;
    }
}

TEST(HSV2RGB, SectorsWrapAndNegativeHues) {
    const Rgb untouched = {-7, -7, -7};
    const struct { Hsv in; Rgb out; } cases[] = {
        {{0, 255, 255}, {255, 0, 0}},
        {{0, 0, 128}, {128, 128, 128}},
        // 370 wraps to 10. At V 255 the level 42.5 is a rounding half-way
        // point, which the two hues' quotients straddle (43 against 42).
        {{370, 255, 200}, {200, 33, 0}},
        {{10, 255, 200}, {200, 33, 0}},
        {{10, 255, 255}, {255, 42, 0}},
        {{370, 255, 255}, {255, 43, 0}},
        {{725, 255, 255}, {255, 21, 0}},
        {{-360, 255, 255}, {255, 0, 0}},   // sector 0: acts as hue 0
        {{-310, 255, 255}, {255, 212, 0}}, // acts as hue 50
        {{-10, 255, 255}, untouched},
        {{-300, 255, 255}, untouched},
        {{std::nan(""), 255, 255}, untouched},
        {{std::numeric_limits<double>::infinity(), 255, 255}, untouched},
        // Saturation and value are not clamped, and neither are the outputs.
        {{0, 510, 255}, {255, -255, -255}},
        {{0, -255, 100}, {100, 200, 200}},
        {{0, 0, 300}, {300, 300, 300}},
        // Absurd levels saturate instead of overflowing.
        {{0, 0, 1e300}, {INT32_MAX, INT32_MAX, INT32_MAX}},
        {{1e300, 0, 10}, {10, 10, 10}},
    };
    for (const auto& c : cases) {
        Rgb got = untouched;
        HSV2RGB(c.in.h, c.in.s, c.in.v, &got.r, &got.g, &got.b);
        EXPECT_EQ(got, c.out) << c.in.h << " " << c.in.s << " " << c.in.v;
    }
}

// Whole-degree hues make the double-precision round trip lossy for some colours.
TEST(HSV2RGB, RoundTripsFromRGB2HSV) {
    const struct { Rgb in, back; } cases[] = {
        {{255, 0, 200}, {255, 0, 204}},
        {{200, 101, 50}, {200, 100, 50}},
        {{10, 20, 30}, {10, 20, 30}},
        {{255, 128, 0}, {255, 128, 0}},
    };
    for (const auto& c : cases) {
        double h, s, v;
        RGB2HSV(c.in.r, c.in.g, c.in.b, &h, &s, &v);
        Rgb back = {-1, -1, -1};
        HSV2RGB(h, s, v, &back.r, &back.g, &back.b);
        EXPECT_EQ(back, c.back) << c.in;
    }
}

TEST(Hsv8, DocumentedTriplesAndRoundTrips) {
    const struct { Rgb in; int hh, ss, vv; Rgb back; } cases[] = {
        {{255, 0, 0}, 0, 255, 255, {255, 0, 0}},
        {{0, 255, 0}, 120, 255, 255, {0, 255, 0}},
        {{0, 0, 255}, 240, 255, 255, {0, 0, 255}},
        {{255, 128, 0}, 30, 255, 255, {255, 128, 0}},  // exact half rounded up
        {{0, 0, 0}, 0, 0, 0, {0, 0, 0}},
        {{255, 255, 255}, 0, 0, 255, {255, 255, 255}},
        {{77, 77, 77}, 0, 0, 77, {77, 77, 77}},
        {{200, 200, 100}, 60, 127, 200, {200, 200, 100}},  // 127.5 truncated
        {{10, 20, 30}, 210, 170, 30, {10, 20, 30}},
        {{255, 0, 1}, 359, 255, 255, {255, 0, 4}},
        {{255, 0, 200}, 312, 255, 255, {255, 0, 204}},
        {{1, 0, 0}, 0, 255, 1, {1, 0, 0}},
    };
    for (const auto& c : cases) {
        const Hsv8 hsv = hsv8_forward(c.in.r, c.in.g, c.in.b);
        EXPECT_EQ(hsv.hh, c.hh) << c.in;
        EXPECT_EQ(hsv.ss, c.ss) << c.in;
        EXPECT_EQ(hsv.vv, c.vv) << c.in;
        Rgb back = {-1, -1, -1};
        EXPECT_TRUE(hsv8_back(hsv.hh, hsv.ss, hsv.vv, &back.r, &back.g, &back.b));
        EXPECT_EQ(back, c.back) << c.in;
    }
}

TEST(Hsv8, BackConversionSectors) {
    const struct { int64_t hh; int ss, vv; bool written; Rgb out; } cases[] = {
        {390, 255, 255, true, {255, 128, 0}},  // sector 0 with f 0.5
        {30, 255, 255, true, {255, 128, 0}},
        {-360, 255, 255, true, {255, 0, 0}},
        {-690, 255, 255, true, {255, 128, 0}},  // floor(-11.5) = -12: sector 0
        {-30, 255, 255, false, {-1, -1, -1}},
        {-1, 255, 255, false, {-1, -1, -1}},
        {123, 0, 99, true, {99, 99, 99}},     // no saturation: grey at any hue
        // Levels just above a half, from the single-precision f taken in
        // double precision: 11.5000003 and 225.5000002 round up.
        {5, 255, 138, true, {138, 12, 0}},
        {1, 30, 255, true, {255, 226, 225}},
        {INT64_C(1) << 40, 0, 50, true, {50, 50, 50}},
    };
    for (const auto& c : cases) {
        Rgb got = {-1, -1, -1};
        EXPECT_EQ(hsv8_back(c.hh, c.ss, c.vv, &got.r, &got.g, &got.b), c.written) << c.hh;
        EXPECT_EQ(got, c.out) << c.hh;
    }
}

// The forward conversion equals the floor of the exact rational hue and
// saturation for every colour, so its float precision cannot matter.
TEST(Hsv8, ForwardIsExactOverEveryColour) {
    for (int r = 0; r < 256; r++) {
        for (int g = 0; g < 256; g++) {
            for (int b = 0; b < 256; b++) {
                const int cmax = std::max({r, g, b}), cmin = std::min({r, g, b});
                const int range = cmax - cmin;
                int hh = 0;  // floor of the exact quotient plus the branch base
                auto floor_div = [](int n, int d) { return n >= 0 ? n / d : -((-n + d - 1) / d); };
                if (range == 0) hh = 0;
                else if (r == cmax) hh = (floor_div(60 * (g - b), range) + 360) % 360;
                else if (g == cmax) hh = floor_div(60 * (b - r), range) + 120;
                else hh = floor_div(60 * (r - g), range) + 240;
                const int ss = cmax == 0 ? 0 : 255 * range / cmax;
                const Hsv8 got = hsv8_forward(r, g, b);
                if (got.hh != hh || got.ss != ss || got.vv != cmax) {
                    FAIL() << "(" << r << ", " << g << ", " << b << "): " << got.hh << " "
                           << got.ss << " " << got.vv << " expected " << hh << " " << ss;
                }
            }
        }
    }
}

// The inline floor and round of pixel.h give the bits of C's floor and
// round (signed zeros, halves, the edge of 2^52, infinities, NaN), and
// sector_mod6 those of fmod, on every target. mingw-w64's 64-bit round gives
// 1 for the double just below 0.5: round is checked against its definition.
TEST(ExactRounding, FloorRoundAndSectorAreCs) {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> xs = {0.0, -0.0, 0.49999999999999994, -0.49999999999999994,
                              4503599627370495.5, -4503599627370495.5, 4503599627370496.0,
                              -4503599627370497.0, 1e300, -1e300, inf, -inf,
                              std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::denorm_min(), -1e-300};
    for (int k = -4000; k <= 4000; k++) {
        xs.push_back(k / 8.0);
        xs.push_back(std::nextafter(k / 8.0, inf));
        xs.push_back(std::nextafter(k / 8.0, -inf));
    }
    uint64_t bits = 88172645463325252ull;  // any double, NaNs among them
    for (int i = 0; i < 200000; i++) {
        bits ^= bits << 13, bits ^= bits >> 7, bits ^= bits << 17;
        double x;
        std::memcpy(&x, &bits, sizeof x);
        xs.push_back(x);
    }
    const auto same = [](double a, double b) {
        return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
    };
    // Halves away from zero: the magnitude's floor, plus one from a
    // fraction (exact) of a half on.
    const auto round_reference = [](double x) {
        const double m = std::fabs(x), whole = std::floor(m);
        return std::copysign(m - whole >= 0.5 ? whole + 1 : whole, x);
    };
    for (const double x : xs) {
        EXPECT_TRUE(same(rururev::exact_floor(x), std::floor(x))) << std::hexfloat << x;
        EXPECT_TRUE(same(rururev::exact_round(x), round_reference(x))) << std::hexfloat << x;
    }
    for (const double sector : {0.0, 5.0, 6.0, -1.0, -6.0, -7.0, 13.0, 1e15, -1e15}) {
        EXPECT_EQ(rururev::sector_mod6(sector), static_cast<int>(std::fmod(sector, 6.0))) << sector;
    }
}
