// The HSV curve: hue, saturation or value moved by the curve's displacement
// at the component's own level, through the double-precision HSV pair.
#include <cmath>

#include "curve/curve.h"
#include "core/pixel.h"

namespace rururev::kernel {

namespace {

constexpr int32_t hue_range = 360, level_range = 255;

// Reduces a hue that is still negative after one turn has been added onto
// 0 to 360; an infinite one becomes NaN, which the back conversion ignores.
double hue_onto_circle(double h) {
    const double rest = std::fmod(h, 360.0);  // exact, in (-360, 0]
    return rest < 0 ? rest + 360.0 : rest;
}

// Keeps a saturation or value inside 0 to 255.
double clamp_level(double x) {
    if (x < 0) return 0;
    if (x > 255) return 255;
    return x;
}

}  // namespace

void tovoInterHSV(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh) {
    const double coef = curve_coef(t3 == 0 ? hue_range : level_range, t2, sh);
    // The scaled displacement of each position the mode can read: hues stop
    // at 359, saturation and value at 255. One that is not a number (NaN, or
    // infinity times 0) moves nothing.
    double move[hue_range] = {};
    const int32_t positions = t3 == 0 ? hue_range : (t3 == 1 || t3 == 2) ? level_range + 1 : 0;
    for (int32_t k = 0; k < positions; k++) {
        const double d = pointy[k] * coef;
        move[k] = std::isnan(d) ? 0 : d;
    }
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t w = data[i];
        if (alpha_of(w) == 0) continue;
        const int r = static_cast<int>(red_of(w)), g = static_cast<int>(green_of(w)),
                  b = static_cast<int>(blue_of(w));
        double H, S, V;
        RGB2HSV(r, g, b, &H, &S, &V);
        // Each component is a whole number in range, so it indexes directly.
        if (t3 == 0) H += move[static_cast<int>(H)];
        if (t3 == 1) S += move[static_cast<int>(S)];
        if (t3 == 2) V += move[static_cast<int>(V)];
        if (H < 0) H += 360;
        if (H < 0) H = hue_onto_circle(H);
        S = clamp_level(S);
        V = clamp_level(V);
        // A hue with no sector (an infinite one) writes nothing: the pixel
        // keeps its own colour.
        int R = r, G = g, B = b;
        HSV2RGB(H, S, V, &R, &G, &B);
        data[i] = pack(alpha_of(w), clamp255(R), clamp255(G), clamp255(B));
    }
}

}  // namespace rururev::kernel
