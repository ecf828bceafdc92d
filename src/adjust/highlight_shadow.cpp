// Highlight and shadow levels: one HSV component of every visible pixel is
// remapped linearly, offset, scaled and bounded, and the pixel is rebuilt
// through the double-precision HSV pair.
#include <cmath>

#include "adjust/hsv_filters.h"
#include "adjust/last_colour.h"
#include "core/pixel.h"

namespace rururev::kernel {

namespace {

struct Levels {
    Component x;
    double span;  // t0 - t1: where 255 lands, less where 0 lands
    int32_t t1, t2;
    double gain;  // t3 percent
    int32_t cmax, cmin;

    double remap(double X) const {
        X = exact_round(X / 255.0 * span + t1) + t2;
        X = X * gain;  // not rounded again: HSV2RGB takes the fraction
        // The lower bound first, so cmin above cmax leaves every pixel at cmax.
        if (X < cmin) X = cmin;
        if (X > cmax) X = cmax;
        return X;
    }

    uint32_t operator()(uint32_t rgb) const {
        double H, S, V;
        RGB2HSV(static_cast<int>(red_of(rgb)), static_cast<int>(green_of(rgb)),
                static_cast<int>(blue_of(rgb)), &H, &S, &V);
        double& X = x == Component::value ? V : S;
        X = remap(X);
        // H is 0 to 359, so HSV2RGB always writes; levels far out of range
        // saturate there and are clamped here.
        int r = 0, g = 0, b = 0;
        HSV2RGB(H, S, V, &r, &g, &b);
        return pack(0, clamp255(r), clamp255(g), clamp255(b));
    }
};

}  // namespace

void highlight_shadow(uint32_t* data, uint32_t count, Component x, int32_t t0, int32_t t1,
                      int32_t t2, int32_t t3, int32_t cmax, int32_t cmin) {
    const Levels levels = {x, static_cast<double>(int64_t{t0} - t1), t1, t2, t3 * 0.01, cmax, cmin};
    LastColour remapped(levels);
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (alpha_of(word) > 0) data[i] = (word & kAlphaBits) | remapped(word & kColourBits);
    }
}

void tovoHighShadow(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                    int32_t t3, int32_t cmax, int32_t cmin) {
    highlight_shadow(data, count, Component::value, t0, t1, t2, t3, cmax, cmin);
}

void tovoHighShadowDoder(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                         int32_t t3, int32_t cmax, int32_t cmin) {
    highlight_shadow(data, count, Component::saturation, t0, t1, t2, t3, cmax, cmin);
}

}  // namespace rururev::kernel
