// The fast curve filters against their plain kernels.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "curve/curve.h"
#include "identity.h"
#include "simd/fast.h"

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
const Curve huge = curve_of([](int k) { return k % 2 ? 1e12 : -1e12; });
const Curve odd = curve_of([](int k) {
    const double inf = std::numeric_limits<double>::infinity();
    return k % 5 == 0 ? inf : k % 5 == 1 ? -inf : k % 5 == 2 ? std::nan("") : 0.5 * k;
});

struct CurveCase {
    const char* curve_name;
    const Curve* curve;
    int32_t t2, t3, sh;
};

const CurveCase hsv_cases[] = {
    {"wave", &wave, 100, 0, 200},  {"saw", &saw, 10000, 0, 2},  {"wave", &wave, 100, 1, 200},
    {"wave", &wave, -250, 2, 2},   {"flat", &flat, 0, 3, 0},    {"huge", &huge, 100, 1, 200},
    {"odd", &odd, 100, 2, 200},
};

// Every mode of the RGB curve (and two that move nothing), then extremes.
const CurveCase rgb_cases[] = {
    {"wave", &wave, 100, 0, 200},   {"wave", &wave, 100, 1, 200},   {"wave", &wave, 100, 2, 200},
    {"wave", &wave, 100, 3, 200},   {"wave", &wave, 100, 4, 200},   {"wave", &wave, 100, 5, 200},
    {"wave", &wave, 100, 6, 200},   {"wave", &wave, 100, 7, 200},   {"wave", &wave, 100, 8, 200},
    {"wave", &wave, 100, 9, 200},   {"wave", &wave, 100, 10, 200},  {"wave", &wave, 100, 11, 200},
    {"wave", &wave, 100, 12, 200},  {"wave", &wave, 100, 13, 200},  {"wave", &wave, 100, 14, 200},
    {"wave", &wave, 100, -1, 200},  {"saw", &saw, -300, 0, 2},      {"saw", &saw, 100, 7, 3},
    {"huge", &huge, 100, 4, 200},   {"odd", &odd, 100, 0, 200},     {"odd", &odd, 100, 13, 200},
    {"wave", &wave, INT32_MIN, 9, 2}, {"flat", &flat, 100, 0, 1},
};

using Kernel = void (*)(uint32_t*, uint32_t, const double*, int32_t, int32_t, int32_t);

identity::Filter bind(Kernel k, const CurveCase& c) {
    return [k, c](uint32_t* data, uint32_t w, uint32_t h) {
        k(data, w * h, c.curve->data(), c.t2, c.t3, c.sh);
    };
}

std::string label(const char* name, const CurveCase& c) {
    return std::string(name) + " on " + c.curve_name + " (t2 " + std::to_string(c.t2) + ", t3 " +
           std::to_string(c.t3) + ", sh " + std::to_string(c.sh) + ")";
}

}  // namespace

TEST(CurveFast, ShortBuffersAndTails) {
    for (const auto& c : rgb_cases) {
        EXPECT_EQ(identity::short_runs(bind(rururev::kernel::tovoInterRGB, c),
                                       bind(rururev::fast::tovoInterRGB, c)),
                  "")
            << label("tovoInterRGB", c);
    }
    for (const auto& c : hsv_cases) {
        EXPECT_EQ(identity::short_runs(bind(rururev::kernel::tovoInterHSV, c),
                                       bind(rururev::fast::tovoInterHSV, c)),
                  "")
            << label("tovoInterHSV", c);
    }
}

TEST(CurveFast, InterHsvEveryColour) {
    for (const auto& c : hsv_cases) {
        EXPECT_EQ(identity::every_colour(bind(rururev::kernel::tovoInterHSV, c),
                                         bind(rururev::fast::tovoInterHSV, c)),
                  "")
            << label("tovoInterHSV", c);
    }
}

TEST(CurveFast, InterRgbEveryColour) {
    for (const auto& c : rgb_cases) {
        EXPECT_EQ(identity::every_colour(bind(rururev::kernel::tovoInterRGB, c),
                                         bind(rururev::fast::tovoInterRGB, c)),
                  "")
            << label("tovoInterRGB", c);
    }
}
