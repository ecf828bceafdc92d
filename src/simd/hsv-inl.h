// The double-precision HSV pair on vectors of doubles, per Highway target.
// Each operation is the one RGB2HSV and HSV2RGB (src/color/hsv.cpp) perform,
// in the same order and precision, so every lane ends with the very double
// the scalar code computes: IEEE multiplication, subtraction and division
// round the same in every lane width, and nothing here is fused.
#if defined(RURUREV_SIMD_HSV_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef RURUREV_SIMD_HSV_INL_H_
#undef RURUREV_SIMD_HSV_INL_H_
#else
#define RURUREV_SIMD_HSV_INL_H_
#endif

#include <hwy/highway.h>

#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

template <class D>
struct HsvV {
    hn::Vec<D> h, s, v;
};

// RGB2HSV of whole channels 0 to 255.
//
// The hue quotient 60 * diff / range is a fraction whose denominator is at
// most 255, so when it is not whole it lies at least 1/255 from the nearest
// whole number; its single-precision quotient (error below 4e-6) therefore
// truncates and floors exactly as the double does, at a quarter of the cost.
// Red's hue, truncated after adding 360, is 360 plus the floor.
template <class D>
HWY_INLINE HsvV<D> Rgb2Hsv(D d, const ChannelsV<D>& c) {
    const hn::Rebind<float, D> df;
    const auto cmax = hn::Max(hn::Max(c.r, c.g), c.b);
    const auto cmin = hn::Min(hn::Min(c.r, c.g), c.b);
    const auto range = hn::Sub(cmax, cmin);
    const auto zero = hn::Zero(d);
    const auto red_max = hn::Eq(c.r, cmax);
    const auto green_max = hn::AndNot(red_max, hn::Eq(c.g, cmax));
    const auto diff = hn::IfThenElse(red_max, hn::Sub(c.g, c.b),
                                     hn::IfThenElse(green_max, hn::Sub(c.b, c.r), hn::Sub(c.r, c.g)));
    const auto x = hn::Div(hn::Mul(hn::Set(df, 60.0f), hn::DemoteTo(df, diff)), hn::DemoteTo(df, range));
    auto h_red = hn::PromoteTo(d, hn::Floor(x));
    h_red = hn::IfThenElse(hn::Lt(h_red, zero), hn::Add(h_red, hn::Set(d, 360.0)), h_red);
    const auto h_other = hn::Add(hn::PromoteTo(d, hn::Trunc(x)),
                                 hn::IfThenElse(green_max, hn::Set(d, 120.0), hn::Set(d, 240.0)));
    auto h = hn::IfThenElse(red_max, h_red, h_other);
    h = hn::IfThenZeroElse(hn::Eq(range, zero), h);
    const auto s = hn::IfThenZeroElse(
        hn::Eq(cmax, zero), RoundUpHalf(d, hn::Mul(hn::Div(range, cmax), hn::Set(d, 255.0))));
    return {h, s, cmax};
}

// The sector number ii (0 to 5) of a whole sector below 2^26 in magnitude,
// as (int)fmod(sector, 6) gives it, and in `none` the lanes that select no
// sector: a negative sector keeps its sign through fmod, so only its
// multiples of 6 select one (sector 0), and so do no infinities or NaN.
// (sector + 1/2) / 6 lies at least 1/12 from a whole number, far beyond the
// error of multiplying by a rounded 1/6, so its floor is exact.
template <class D>
HWY_INLINE hn::Vec<D> SectorOf(D d, hn::Vec<D> sector, hn::Mask<D>* none) {
    const auto zero = hn::Zero(d);
    const auto sixths = hn::Floor(hn::Mul(hn::Add(sector, hn::Set(d, 0.5)), hn::Set(d, 1.0 / 6.0)));
    const auto ii = hn::Sub(sector, hn::Mul(hn::Set(d, 6.0), sixths));
    *none = hn::Or(hn::And(hn::Lt(sector, zero), hn::Ne(ii, zero)), hn::Not(hn::IsFinite(sector)));
    return ii;
}

// The channels of sector ii from the levels p, q, t and v:
//   sector   0  1  2  3  4  5
//   R        v  q  p  p  t  v
//   G        t  v  v  q  p  p
//   B        p  p  t  v  v  q
template <class D>
HWY_INLINE ChannelsV<D> BySector(D d, hn::Vec<D> ii, hn::Vec<D> p, hn::Vec<D> q, hn::Vec<D> t,
                                 hn::Vec<D> v) {
    const auto in0 = hn::Eq(ii, hn::Zero(d)), in1 = hn::Eq(ii, hn::Set(d, 1.0));
    const auto in2 = hn::Eq(ii, hn::Set(d, 2.0)), in3 = hn::Eq(ii, hn::Set(d, 3.0));
    const auto in4 = hn::Eq(ii, hn::Set(d, 4.0));
    const auto r = hn::IfThenElse(in1, q, hn::IfThenElse(hn::Or(in2, in3), p, hn::IfThenElse(in4, t, v)));
    const auto g = hn::IfThenElse(in0, t, hn::IfThenElse(hn::Or(in1, in2), v, hn::IfThenElse(in3, q, p)));
    const auto b = hn::IfThenElse(hn::Or(in0, in1), p,
                                  hn::IfThenElse(in2, t, hn::IfThenElse(hn::Or(in3, in4), v, q)));
    return {r, g, b};
}

// HSV2RGB for lanes with |H| below 3 * 2^30 (or not finite) and finite S and V.
// The lanes whose hue selects no sector are returned in `none`; their
// results are meaningless and must be replaced by the channels the caller
// started from. Results are whole doubles, not clamped. kLevels says that S
// and V lie in 0 to 255, so p, q and t cannot be negative.
template <bool kLevels, class D>
HWY_INLINE ChannelsV<D> Hsv2Rgb(D d, const HsvV<D>& hsv, hn::Mask<D>* none) {
    const auto one = hn::Set(d, 1.0);
    const auto quotient = hn::Div(hsv.h, hn::Set(d, 60.0));
    const auto sector = hn::Floor(quotient);
    const auto ii = SectorOf(d, sector, none);
    const auto f = hn::Sub(quotient, sector);
    const auto s = hn::Div(hsv.s, hn::Set(d, 255.0));
    auto round = [&](hn::Vec<D> x) { return kLevels ? RoundUpHalf(d, x) : RoundHalfAway(d, x); };
    const auto p = round(hn::Mul(hn::Sub(one, s), hsv.v));
    const auto q = round(hn::Mul(hn::Sub(one, hn::Mul(s, f)), hsv.v));
    const auto t = round(hn::Mul(hn::Sub(one, hn::Mul(s, hn::Sub(one, f))), hsv.v));
    return BySector(d, ii, p, q, t, hn::Trunc(hsv.v));
}

// The 8-bit forward conversion of whole channels below 2^21 in magnitude
// (exact in single precision, as hsv8_forward holds them): hh, ss and vv,
// and cmax. Every hue sum is positive, so truncation is the floor.
template <class D>
HWY_INLINE HsvV<D> Hsv8Forward(D d, const ChannelsV<D>& c, hn::Vec<D>* cmax_out) {
    const auto zero = hn::Zero(d);
    const auto cmax = hn::Max(hn::Max(c.r, c.g), c.b);
    const auto cmin = hn::Min(hn::Min(c.r, c.g), c.b);
    const auto range = hn::Sub(cmax, cmin);
    const auto red_max = hn::Eq(cmax, c.r);
    const auto green_max = hn::AndNot(red_max, hn::Eq(cmax, c.g));
    const auto diff = hn::IfThenElse(red_max, hn::Sub(c.g, c.b),
                                     hn::IfThenElse(green_max, hn::Sub(c.b, c.r), hn::Sub(c.r, c.g)));
    const auto x = hn::Div(hn::Mul(hn::Set(d, 60.0), diff), range);
    const auto offset = hn::IfThenElse(red_max, hn::Set(d, 360.0),
                                       hn::IfThenElse(green_max, hn::Set(d, 120.0), hn::Set(d, 240.0)));
    auto hh = hn::Trunc(hn::Add(x, offset));  // red: 300 to 420, then modulo 360
    hh = hn::IfThenElse(hn::Ge(hh, hn::Set(d, 360.0)), hn::Sub(hh, hn::Set(d, 360.0)), hh);
    hh = hn::IfThenZeroElse(hn::Eq(range, zero), hh);
    const auto ss = hn::IfThenZeroElse(hn::Eq(cmax, zero),
                                       hn::Trunc(hn::Mul(hn::Div(range, cmax), hn::Set(d, 255.0))));
    *cmax_out = cmax;
    return {hh, ss, hn::Trunc(cmax)};
}

// hsv8_back for whole lanes: |hh| below 3 * 2^30, ss and vv 0 to 255. f is held
// in single precision as the scalar code holds it. Lanes in `none` select no
// sector and keep the caller's channels. Results are not clamped.
template <class D>
HWY_INLINE ChannelsV<D> Hsv8Back(D d, const HsvV<D>& hsv, hn::Mask<D>* none) {
    const hn::Rebind<float, D> df;
    const auto one = hn::Set(d, 1.0);
    const auto quotient = hn::Div(hsv.h, hn::Set(d, 60.0));
    const auto sector = hn::Floor(quotient);
    const auto ii = SectorOf(d, sector, none);
    const auto single = [&](hn::Vec<D> x) { return hn::PromoteTo(d, hn::DemoteTo(df, x)); };
    const auto f = single(hn::Sub(single(quotient), sector));
    const auto s = hn::Div(hsv.s, hn::Set(d, 255.0));
    const auto p = RoundHalfAway(d, hn::Mul(hsv.v, hn::Sub(one, s)));
    const auto q = RoundHalfAway(d, hn::Mul(hsv.v, hn::Sub(one, hn::Mul(s, f))));
    const auto t = RoundHalfAway(d, hn::Mul(hsv.v, hn::Sub(one, hn::Mul(s, hn::Sub(one, f)))));
    return BySector(d, ii, p, q, t, hsv.v);
}

// table[k] for whole lanes k, each a valid index. Loads lane by lane through
// the stack: on some processors that beats a gather.
template <class D>
HWY_INLINE hn::Vec<D> TableAt(D d, const double* HWY_RESTRICT table, hn::Vec<D> k) {
    const hn::Rebind<int32_t, D> di32;
    int32_t index[HWY_MAX_BYTES / sizeof(double)];
    double value[HWY_MAX_BYTES / sizeof(double)];
    hn::StoreU(hn::DemoteTo(di32, k), di32, index);
    for (size_t j = 0; j < hn::Lanes(d); j++) value[j] = table[index[j]];
    return hn::LoadU(d, value);
}

// Clamps whole lanes into 0 to 255.
template <class D>
HWY_INLINE hn::Vec<D> Clamp255(D d, hn::Vec<D> x) {
    return hn::Min(hn::Max(x, hn::Zero(d)), hn::Set(d, 255.0));
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // RURUREV_SIMD_HSV_INL_H_
