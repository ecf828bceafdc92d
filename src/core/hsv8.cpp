// The 8-bit HSV pair.
#include <cmath>

#include "core/pixel.h"

namespace rururev {

Hsv8 hsv8_forward(int64_t r, int64_t g, int64_t b) {
    const float rf = static_cast<float>(r), gf = static_cast<float>(g), bf = static_cast<float>(b);
    const float cmax = std::fmax(std::fmax(rf, gf), bf);
    const float cmin = std::fmin(std::fmin(rf, gf), bf);
    const double range = static_cast<double>(cmax) - cmin;
    int32_t hh;
    // Every sum below is positive for channels in 0 to 255, so truncation is
    // the floor of the exact quotient whatever the float precision.
    if (cmax == cmin) {
        hh = 0;
    } else if (cmax == rf) {
        hh = trunc_to_int(60 * (g - b) / range + 360) % 360;
    } else if (cmax == gf) {
        hh = trunc_to_int(60 * (b - r) / range + 120);
    } else {
        hh = trunc_to_int(60 * (r - g) / range + 240);
    }
    if (hh < 0) hh += 360;
    const int32_t ss = cmax == 0 ? 0 : trunc_to_int(range / cmax * 255);
    return {hh, ss, trunc_to_int(cmax), cmax, cmin};
}

bool hsv8_back(int64_t hh, int32_t ss, int32_t vv, int32_t* r, int32_t* g, int32_t* b) {
    const double quotient = hh / 60.0;
    const double sector = exact_floor(quotient);
    const int ii = sector_mod6(sector);
    if (ii < 0) return false;
    // f is held in single precision, but the levels are computed from it in
    // double: 1 - f in float would move some levels across a rounding half.
    const double f = static_cast<float>(static_cast<float>(quotient) - sector);
    const double s = ss / 255.0;
    const int32_t p = round_to_int(vv * (1 - s));
    const int32_t q = round_to_int(vv * (1 - s * f));
    const int32_t t = round_to_int(vv * (1 - s * (1 - f)));
    switch (ii) {
        case 0: *r = vv; *g = t; *b = p; break;
        case 1: *r = q; *g = vv; *b = p; break;
        case 2: *r = p; *g = vv; *b = t; break;
        case 3: *r = p; *g = q; *b = vv; break;
        case 4: *r = t; *g = p; *b = vv; break;
        default: *r = vv; *g = p; *b = q; break;
    }
    return true;
}

}  // namespace rururev
