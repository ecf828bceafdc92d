// The HSV curve, fast: the double-precision round trip of every visible
// pixel on vectors of doubles (simd/hsv-inl.h), with the curve's moves
// looked up per lane.
#include <cmath>

#include "curve/curve.h"
#include "pixel.h"
#include "simd/dispatch.h"
#include "simd/fast.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "curve/curve_hsv_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/hsv-inl.h"
#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// hue_onto_circle of lanes in (-2^31, 0): fmod(h, 360) computed exactly
// (h less a whole number of turns is exact; a quotient that rounded to the
// next whole number is corrected by one turn), then one turn added.
template <class D>
HWY_INLINE hn::Vec<D> HueOntoCircle(D d, hn::Vec<D> h) {
    const auto turn = hn::Set(d, 360.0);
    auto rest = hn::Sub(h, hn::Mul(hn::Trunc(hn::Div(h, turn)), turn));
    rest = hn::IfThenElse(hn::Gt(rest, hn::Zero(d)), hn::Sub(rest, turn), rest);
    rest = hn::IfThenElse(hn::Le(rest, hn::Neg(turn)), hn::Add(rest, turn), rest);
    return hn::IfThenElse(hn::Lt(rest, hn::Zero(d)), hn::Add(rest, turn), rest);
}

// t3 0 moves the hue, 1 the saturation, 2 the value, any other nothing.
// Every move is finite and at most 2^30 in magnitude.
void InterHsvWords(uint32_t* HWY_RESTRICT data, size_t count, const double* HWY_RESTRICT move,
                   int32_t t3) {
    using D = hn::ScalableTag<double>;
    using D32 = hn::Rebind<uint32_t, D>;
    const D d;
    const D32 d32;
    const auto zero = hn::Zero(d), turn = hn::Set(d, 360.0), top = hn::Set(d, 255.0);
    TransformWords(d32, data, count, [&](hn::Vec<D32> words) {
        const ChannelsV<D> rgb = ChannelsOf(d, d32, words);
        HsvV<D> hsv = Rgb2Hsv(d, rgb);
        if (t3 == 0) {
            hsv.h = hn::Add(hsv.h, TableAt(d, move, hsv.h));
            hsv.h = hn::IfThenElse(hn::Lt(hsv.h, zero), hn::Add(hsv.h, turn), hsv.h);
            const auto below = hn::Lt(hsv.h, zero);
            if (!hn::AllFalse(d, below)) hsv.h = hn::IfThenElse(below, HueOntoCircle(d, hsv.h), hsv.h);
        } else if (t3 == 1) {
            hsv.s = hn::Add(hsv.s, TableAt(d, move, hsv.s));
        } else if (t3 == 2) {
            hsv.v = hn::Add(hsv.v, TableAt(d, move, hsv.v));
        }
        hsv.s = hn::Min(hn::Max(hsv.s, zero), top);
        hsv.v = hn::Min(hn::Max(hsv.v, zero), top);
        // The hue is now 0 or more and finite, and S and V lie in 0 to 255:
        // every lane selects a sector, and its channels lie in 0 to 255.
        hn::Mask<D> none;
        const ChannelsV<D> out = Hsv2Rgb<true>(d, hsv, &none);
        return hn::IfThenElse(Visible(d32, words), WordsOf(d32, d, words, out), words);
    });
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
    // The moves as the kernel computes them: NaN moves nothing.
    const double coef = curve_coef(t3 == 0 ? 360 : 255, t2, sh);
    double move[360] = {};
    const int32_t positions = t3 == 0 ? 360 : (t3 == 1 || t3 == 2) ? 256 : 0;
    for (int32_t k = 0; k < positions; k++) {
        const double m = pointy[k] * coef;
        move[k] = std::isnan(m) ? 0 : m;
        // Hues moved beyond 2^30 (or to infinity) need the scalar fmod.
        if (t3 == 0 && !(std::fabs(move[k]) <= 1073741824.0)) {
            return kernel::tovoInterHSV(data, count, pointy, t2, t3, sh);
        }
    }
    HWY_DYNAMIC_DISPATCH(simd::InterHsvWords)(data, count, move, t3);
}

}  // namespace fast
}  // namespace rururev
#endif  // HWY_ONCE
