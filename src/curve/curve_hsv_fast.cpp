// The HSV curve, fast: the double-precision round trip of every visible
// pixel on vectors of doubles (simd/hsv-inl.h), with the moved component
// looked up per lane in a per-call table.
#include <cmath>

#include "curve/curve.h"
#include "core/pixel.h"
#include "engine/dispatch.h"
#include "filters/filter_functions.h"
#include "simd/hsv_whole.h"
#include "simd/target_call.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "curve/curve_hsv_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/hsv-inl.h"
#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// t3 0 moves the hue, 1 the saturation, 2 the value, any other nothing;
// `moved` holds the moved component for each value of the one it moves.
// Moved hues are 0 to 3 * 2^30, or, unless `finite`, not finite (then the
// pixel keeps its colour); moved levels are 0 to 255.
template <int kMode, bool kFinite>
HWY_INLINE void MoveComponent(uint32_t* HWY_RESTRICT data, size_t count,
                              const double* HWY_RESTRICT moved) {
    const D d;
    const D32 d32;
    constexpr size_t kGroup = 4;
    TransformWordGroups<kGroup>(d32, data, count, [&](const hn::Vec<D32>* words, hn::Vec<D32>* out) {
        ChannelsV<D> rgb[kGroup];
        HsvV<D> hsv[kGroup];
        for (size_t k = 0; k < kGroup; k++) rgb[k] = ChannelsOf(d, d32, words[k]);
        for (size_t k = 0; k < kGroup; k++) hsv[k] = Rgb2Hsv(d, rgb[k]);
        for (size_t k = 0; k < kGroup; k++) {
            if (kMode == 0) hsv[k].h = TableAt(d, moved, hsv[k].h);
            if (kMode == 1) hsv[k].s = TableAt(d, moved, hsv[k].s);
            if (kMode == 2) hsv[k].v = TableAt(d, moved, hsv[k].v);
        }
        ChannelsV<D> back[kGroup];
        hn::Mask<D> none[kGroup];
        for (size_t k = 0; k < kGroup; k++) back[k] = Hsv2Rgb<true>(d, hsv[k], &none[k]);
        for (size_t k = 0; k < kGroup; k++) {
            if (!kFinite) {
                back[k] = {hn::IfThenElse(none[k], rgb[k].r, back[k].r),
                           hn::IfThenElse(none[k], rgb[k].g, back[k].g),
                           hn::IfThenElse(none[k], rgb[k].b, back[k].b)};
            }
            out[k] = hn::IfThenElse(Visible(d32, words[k]), WordsOf(d32, d, words[k], back[k]), words[k]);
        }
    });
}

void InterHsvWords(uint32_t* HWY_RESTRICT data, size_t count, const double* HWY_RESTRICT moved,
                   int32_t t3, bool finite) {
    switch (t3) {
        case 0:
            return finite ? MoveComponent<0, true>(data, count, moved)
                          : MoveComponent<0, false>(data, count, moved);
        case 1: return MoveComponent<1, true>(data, count, moved);
        case 2: return MoveComponent<2, true>(data, count, moved);
        default: return MoveComponent<3, true>(data, count, moved);
    }
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev {
namespace simd {
HWY_EXPORT(InterHsvWords);
}  // namespace simd

namespace fast {

void tovoInterHSV(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh) {
    if (plain_requested()) return kernel::tovoInterHSV(data, count, pointy, t2, t3, sh);
    // The moved component for each value of the one the mode moves, in the
    // kernel's steps: the scaled move (NaN moves nothing) added; a hue put
    // back on the circle, a level clamped to 0 to 255.
    const double coef = curve_coef(t3 == 0 ? 360 : 255, t2, sh);
    double moved[360] = {};
    int32_t whole_moved[360] = {};
    bool finite = true, whole = true;
    const int32_t positions = t3 == 0 ? 360 : (t3 == 1 || t3 == 2) ? 256 : 0;
    for (int32_t k = 0; k < positions; k++) {
        const double m = pointy[k] * coef;
        double x = k + (std::isnan(m) ? 0 : m);
        if (t3 == 0) {
            if (x < 0) x += 360;
            if (x < 0) {
                const double rest = std::fmod(x, 360.0);
                x = rest < 0 ? rest + 360.0 : rest;
            }
            // Hues this large are beyond the vectors' exact sector arithmetic.
            if (x >= 3221225472.0 && std::isfinite(x)) {
                return kernel::tovoInterHSV(data, count, pointy, t2, t3, sh);
            }
        } else {
            x = x < 0 ? 0 : x > 255 ? 255 : x;
        }
        moved[k] = x;
        finite = finite && std::isfinite(x);
        whole = whole && x == std::floor(x) && x < simd::whole_hue_limit;
        whole_moved[k] = whole ? static_cast<int32_t>(x) : 0;
    }
    // Whole moved components (hues below the limit) take the whole-number
    // round trip.
    if (whole) {
        const simd::Moved which = t3 == 0   ? simd::Moved::hue
                                  : t3 == 1 ? simd::Moved::saturation
                                  : t3 == 2 ? simd::Moved::value
                                            : simd::Moved::none;
        return simd::whole_moved(data, count, whole_moved, which);
    }
    // Moved saturations, always 0 to 255, fractions included.
    if (t3 == 1) return simd::saturation_moved(data, count, moved);
    // Finite moved hues of any size: each one's sector and fraction, as
    // HSV2RGB takes them from it, once per call.
    if (t3 == 0 && finite) {
        int32_t sectors[360];
        double fractions[360];
        for (int k = 0; k < 360; k++) {
            const double quotient = moved[k] / 60.0;
            const double sector = std::floor(quotient);
            const double f = quotient - sector;
            sectors[k] = static_cast<int32_t>(std::fmod(sector, 6.0));
            fractions[k] = sectors[k] % 2 == 1 ? f : 1 - f;
        }
        return simd::hue_table_moved(data, count, sectors, fractions);
    }
    RURUREV_DISPATCH(InterHsvWords)(data, count, moved, t3, finite);
}

}  // namespace fast
}  // namespace rururev
#endif  // HWY_ONCE
