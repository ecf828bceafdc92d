// The fast curve filters against their plain kernels.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "curve/curve.h"
#include "identity.h"
#include "filters/filter_functions.h"

namespace {

using Curve = std::vector<double>;

Curve curve_of(double (*point)(int)) {
    Curve c(rururev::curve_points);
    for (int k = 0; k < rururev::curve_points; k++) c[k] = point(k);
    return c;
}

// Curves as scripts leave them: empty, a gentle wave, a steep saw whose
// scaled moves go round the hue circle many times, enormous values, and
// infinities and NaN among ordinary points.
const Curve flat = curve_of([](int) { return 0.0; });
const Curve wave = curve_of([](int k) { return 37.5 * std::sin(k * 0.07) - 3.25; });
const Curve saw = curve_of([](int k) { return (k % 7 - 3) * 123.456; });
const Curve fine = curve_of([](int k) { return k % 2 ? (k % 9 - 4) / 256.0 : k % 9 - 4; });  // and 256ths
const Curve huge = curve_of([](int k) { return k % 2 ? 1e12 : -1e12; });
const Curve odd = curve_of([](int k) {
    const double inf = std::numeric_limits<double>::infinity();
    return k % 5 == 0 ? inf : k % 5 == 1 ? -inf : k % 5 == 2 ? std::nan("") : 0.5 * k;
});

// Every mode of the RGB curve (and two that move nothing), then extremes.
const identity::Case rgb_cases[] = {
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 0, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 1, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 2, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 3, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 4, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 5, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 6, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 7, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 8, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 9, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 10, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 11, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 12, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 13, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, 14, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), 100, -1, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, saw.data(), -300, 0, 2)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, saw.data(), 100, 7, 3)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, huge.data(), 100, 4, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, odd.data(), 100, 0, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, odd.data(), 100, 13, 200)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, wave.data(), INT32_MIN, 9, 2)),
    IDENTITY_CASE(tovoInterRGB(d, w * h, flat.data(), 100, 0, 1)),
};

// Hue moves small and large (round the circle many times, and beyond the
// vectors' exact range), saturation and value moves, no move at all.
const identity::Case hsv_cases[] = {
    IDENTITY_CASE(tovoInterHSV(d, w * h, wave.data(), 100, 0, 200)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, saw.data(), 10000, 0, 2)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, huge.data(), 1, 0, 200)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, odd.data(), 100, 0, -7)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, wave.data(), 100, 1, 200)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, wave.data(), -250, 2, 2)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, flat.data(), 0, 3, 0)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, huge.data(), 100, 1, 200)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, odd.data(), 100, 2, 200)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, fine.data(), 100, 1, 256)),
    IDENTITY_CASE(tovoInterHSV(d, w * h, fine.data(), 37, 1, 256)),
};

}  // namespace

TEST(CurveFast, ShortBuffersAndTails) {
    identity::expect_identical(rgb_cases, false);
    identity::expect_identical(hsv_cases, false);
}

TEST(CurveFast, InterRgbEveryColour) { identity::expect_identical(rgb_cases, true); }
TEST(CurveFast, InterHsvEveryColour) { identity::expect_identical(hsv_cases, true); }
