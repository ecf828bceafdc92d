// The HSV pairs on whole numbers in 32-bit lanes, per Highway target: twice
// the lanes of the double-precision vectors and no double division. Every
// step here takes small whole numbers only, and each is checked against the
// double-precision steps it replaces over its whole input domain, on every
// target (tests/hsv_steps_fast_test.cpp).
#if defined(RURUREV_SIMD_HSV_WHOLE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef RURUREV_SIMD_HSV_WHOLE_INL_H_
#undef RURUREV_SIMD_HSV_WHOLE_INL_H_
#else
#define RURUREV_SIMD_HSV_WHOLE_INL_H_
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <hwy/highway.h>

#include "core/pixel.h"

#include "simd/hsv_halves.h"
#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Full-width 32-bit lanes.
using WI = hn::ScalableTag<int32_t>;
using WU = hn::ScalableTag<uint32_t>;
using WF = hn::ScalableTag<float>;
using VWI = hn::Vec<WI>;
using VWU = hn::Vec<WU>;
using VWF = hn::Vec<WF>;

// Whole hues below this go through WholeBack; the steps are checked up to it.
constexpr int32_t kWholeHues = 720;

struct WholeHsv {
    VWI h, s, v;
};

// A whole float below 2^22 in magnitude as an integer: added to 1.5 * 2^23,
// it lands on the float whose low mantissa bits are the integer, offset.
HWY_INLINE VWI WholeToInt(VWF whole) {
    return hn::Sub(hn::BitCast(WI(), hn::Add(whole, hn::Set(WF(), 12582912.0f))), hn::Set(WI(), 0x4B400000));
}

HWY_INLINE VWI WholeChannel(VWU words, int shift) {
    return hn::BitCast(WI(), hn::And(hn::ShiftRightSame(words, shift), hn::Set(WU(), 255u)));
}

// The hue (0 to 359) of whole channels with range (cmax - cmin) at most 255.
// The quotient 60 * diff / range (|diff| <= range) of two exact products,
// when not whole, lies at least 1 / 255 from a whole number, far beyond its
// single-precision error, so it floors and truncates as the exact one does.
// kFloor: every sector floors its quotient (the 8-bit conversion); otherwise
// green and blue truncate it (RGB2HSV).
template <bool kFloor>
HWY_INLINE VWI WholeHue(VWI r, VWI g, VWI b, VWI cmax, VWI range) {
    const WI di;
    const WF df;
    const auto red_max = hn::Eq(r, cmax);
    const auto green_max = hn::AndNot(red_max, hn::Eq(g, cmax));
    const auto diff = hn::IfThenElse(red_max, hn::Sub(g, b),
                                     hn::IfThenElse(green_max, hn::Sub(b, r), hn::Sub(r, g)));
    const auto x = hn::Div(hn::Mul(hn::ConvertTo(df, diff), hn::Set(df, 60.0f)),
                           hn::ConvertTo(df, hn::Max(range, hn::Set(di, 1))));
    const auto floor = WholeToInt(hn::Floor(x));
    const auto red = hn::IfThenElse(hn::Lt(floor, hn::Zero(di)), hn::Add(floor, hn::Set(di, 360)), floor);
    const auto other = hn::Add(kFloor ? floor : WholeToInt(hn::Trunc(x)),
                               hn::IfThenElse(green_max, hn::Set(di, 120), hn::Set(di, 240)));
    return hn::IfThenZeroElse(hn::Eq(range, hn::Zero(di)), hn::IfThenElse(red_max, red, other));
}

// 255 * range / cmax for 0 <= range <= 255, range <= cmax <= 510: rounded
// half up (kRound, as RGB2HSV rounds its double) or truncated (as the 8-bit
// conversion does); 0 when cmax is 0. The single-precision quotient of the
// two exact products rounds and truncates as the double steps do (checked
// for every pair).
template <bool kRound>
HWY_INLINE VWI WholeSaturation(VWI cmax, VWI range) {
    const WI di;
    const WF df;
    const auto q = hn::Div(hn::ConvertTo(df, hn::Mul(range, hn::Set(di, 255))),
                           hn::ConvertTo(df, hn::Max(cmax, hn::Set(di, 1))));
    const auto whole = hn::Floor(q);
    if (!kRound) return WholeToInt(whole);
    const auto up = hn::Ge(hn::Sub(q, whole), hn::Set(df, 0.5f));
    return WholeToInt(hn::IfThenElse(up, hn::Add(whole, hn::Set(df, 1.0f)), whole));
}

// The forward conversion of the 8-bit channels of pixel words: hue 0 to
// 359, saturation rounded (kHsv8 false, as RGB2HSV) or truncated and every
// hue floored (kHsv8, as the 8-bit conversion), value = cmax.
template <bool kHsv8>
HWY_INLINE WholeHsv WholeForward(VWU words) {
    const auto r = WholeChannel(words, 16), g = WholeChannel(words, 8), b = WholeChannel(words, 0);
    const auto cmax = hn::Max(hn::Max(r, g), b);
    const auto range = hn::Sub(cmax, hn::Min(hn::Min(r, g), b));
    return {WholeHue<kHsv8>(r, g, b, cmax, range), WholeSaturation<!kHsv8>(cmax, range), cmax};
}

// Clamps whole lanes into 0 to 255.
HWY_INLINE VWI WholeClamp255(VWI x) {
    const WI di;
    return hn::Min(hn::Max(x, hn::Zero(di)), hn::Set(di, 255));
}

// round((1 - s g) V) for every lane in double steps, as the back
// conversions compute their levels p, q and t, with s = fractions[S]
// (kSaturationFractions: S / 255), g looked up by index in `g` (1 when g is
// null: the level p) and V = values[level]. Taken by the lanes that need the
// double steps' own rounding.
HWY_INLINE VWI DoubleLevels(VWI index, VWI s, VWI level, const double* HWY_RESTRICT g,
                            const double* HWY_RESTRICT values, const double* HWY_RESTRICT fractions) {
    const WI di;
    const D d;
    const DI dpart;
    const hn::Rebind<int64_t, D> d64;
    int32_t at[HWY_MAX_BYTES / 4], ss[HWY_MAX_BYTES / 4], ll[HWY_MAX_BYTES / 4];
    int32_t out[HWY_MAX_BYTES / 4];
    hn::StoreU(index, di, at);
    hn::StoreU(s, di, ss);
    hn::StoreU(level, di, ll);
    const auto load = [&](const int32_t* from) { return hn::PromoteTo(d64, hn::LoadU(dpart, from)); };
    for (size_t part = 0; part < hn::Lanes(di); part += hn::Lanes(dpart)) {
        const auto sd = hn::GatherIndex(d, fractions, load(ss + part));
        const auto sg = g == nullptr ? sd : hn::Mul(sd, hn::GatherIndex(d, g, load(at + part)));
        const auto c = hn::Mul(hn::Sub(hn::Set(d, 1.0), sg), hn::GatherIndex(d, values, load(ll + part)));
        hn::StoreU(hn::DemoteTo(dpart, RoundUpHalf(d, c)), dpart, out + part);
    }
    return hn::LoadU(di, out);
}

// The same out of line (s = S / 255 by default), for the few vectors that
// have such lanes.
static HWY_NOINLINE VWI DoubleLevelOf(VWI index, VWI s, VWI level, const double* HWY_RESTRICT g,
                                      const double* HWY_RESTRICT values,
                                      const double* HWY_RESTRICT fractions = kSaturationFractions.data()) {
    return DoubleLevels(index, s, level, g, values, fractions);
}

// The same for whole values V 0 to 255.
HWY_INLINE VWI DoubleLevel(VWI index, VWI s, VWI v, const double* HWY_RESTRICT g) {
    return DoubleLevelOf(index, s, v, g, kWholeLevels.data());
}

// p = round(V (255 - S) / 255) for S, V 0 to 255: (z + 127) / 255 with the
// division by 255 as shifts (z + 127 < 2^16). Never a half.
HWY_INLINE VWI WholeP(VWI s, VWI v) {
    const WI di;
    const auto z = hn::Add(hn::Mul(v, hn::Sub(hn::Set(di, 255), s)), hn::Set(di, 127));
    return hn::ShiftRight<8>(hn::Add(hn::Add(z, hn::Set(di, 1)), hn::ShiftRight<8>(z)));
}

// Packs v, x (q in odd sectors, t in even ones) and p into the places of
// sector ii (0 to 5) of a colour word, as bit shifts, five bits per sector:
//   sector   0  1  2  3  4  5
//   v        R  G  G  B  B  R
//   x        G  R  B  G  R  B
//   p        B  B  R  R  G  G
HWY_INLINE VWU BySectorWords(VWI ii, VWI v, VWI x, VWI p) {
    const WI di;
    const WU du;
#if HWY_TARGET == HWY_WASM
    // Without shifts by lane, as selects: a channel takes v where its
    // sector, turned by the channel's place, is 0 or 5, x where it is 1 or
    // 4, and p where it is 2 or 3.
    const auto channel = [&](int32_t turn) {
        auto j = hn::Add(ii, hn::Set(di, turn));
        j = hn::IfThenElse(hn::Gt(j, hn::Set(di, 5)), hn::Sub(j, hn::Set(di, 6)), j);
        const auto near = hn::Min(j, hn::Sub(hn::Set(di, 5), j));
        return hn::BitCast(du, hn::IfThenElse(hn::Eq(near, hn::Zero(di)), v,
                                              hn::IfThenElse(hn::Eq(near, hn::Set(di, 1)), x, p)));
    };
    return hn::Or(hn::Or(hn::ShiftLeft<16>(channel(0)), hn::ShiftLeft<8>(channel(4))), channel(2));
#else
    const auto at = hn::Add(ii, hn::ShiftLeft<2>(ii));
    const auto shift_of = [&](uint32_t table) {
        return hn::BitCast(du, hn::And(hn::Shr(hn::Set(di, static_cast<int32_t>(table)), at), hn::Set(di, 31)));
    };
    constexpr uint32_t kV = 16u | 8u << 5 | 8u << 10 | 0u << 15 | 0u << 20 | 16u << 25;
    constexpr uint32_t kX = 8u | 16u << 5 | 0u << 10 | 8u << 15 | 16u << 20 | 0u << 25;
    constexpr uint32_t kP = 0u | 0u << 5 | 16u << 10 | 16u << 15 | 8u << 20 | 8u << 25;
    const auto u = [](VWI lane) { return hn::BitCast(WU(), lane); };
    return hn::Or(hn::Or(hn::Shl(u(v), shift_of(kV)), hn::Shl(u(x), shift_of(kX))),
                  hn::Shl(u(p), shift_of(kP)));
#endif
}

// The back conversion of whole hues 0 to kWholeHues - 1 and S, V 0 to 255,
// packed as 0x00RRGGBB: as HSV2RGB gives it, or, kHsv8, the 8-bit
// conversion.
//
// With s = S / 255 and f = (H mod 60) / 60, the levels are exactly
//   p = round(V (255 - S) / 255)   and   x = round(V - V S k / 15300),
// k being 60 f for q (odd sectors) and 60 - 60 f for t (even ones). p is
// never a half. Where x is not a half, the double steps land on it too.
// Where it is (2 V S k an odd multiple of 15300, about one pixel in a
// hundred), the double steps' own rounding errors decide, so those lanes
// repeat them, with s and g = f or 1 - f from compile-time tables of the
// very doubles the conversions compute.
// The sector ii (0 to 5) of whole hues below kWholeHues, and k: 60 f in
// odd sectors, 60 - 60 f in even ones.
HWY_INLINE VWI SectorOf(VWI h, VWI* k) {
    const WI di;
    // h / 60 by 1093 / 2^16: exact below 1380.
    const auto sector = hn::ShiftRight<16>(hn::Mul(h, hn::Set(di, 1093)));
    const auto j = hn::Sub(h, hn::Mul(sector, hn::Set(di, 60)));
    const auto ii = hn::IfThenElse(hn::Gt(sector, hn::Set(di, 5)), hn::Sub(sector, hn::Set(di, 6)), sector);
    const auto odd = hn::Ne(hn::And(ii, hn::Set(di, 1)), hn::Zero(di));
    *k = hn::IfThenElse(odd, j, hn::Sub(hn::Set(di, 60), j));
    return ii;
}

template <bool kHsv8>
HWY_INLINE VWU WholeBack(VWI h, VWI s, VWI v) {
    const WI di;
    const WF df;
    VWI k;
    const auto ii = SectorOf(h, &k);
    // x: y = V S k + 7650 (below 2^22, exact in single precision) over 15300
    // by a rounded reciprocal. Over every V, S and k the floored quotient is
    // exact, so the remainder lies in 0 to 15299 and one of 0 is a half.
    const auto y = hn::ConvertTo(df, hn::Add(hn::Mul(hn::Mul(v, s), k), hn::Set(di, 7650)));
    const auto n = hn::Floor(hn::Mul(y, hn::Set(df, 1.0f / 15300.0f)));
    const auto rest = hn::Sub(y, hn::Mul(n, hn::Set(df, 15300.0f)));
    const auto half = hn::RebindMask(di, hn::Eq(rest, hn::Zero(df)));
    auto x = hn::Sub(v, WholeToInt(n));
    if (HWY_UNLIKELY(!hn::AllFalse(di, half))) {
        x = hn::IfThenElse(half, DoubleLevel(h, s, v, kHsv8 ? kHueFractions8.data() : kHueFractions.data()), x);
    }
    return BySectorWords(ii, v, x, WholeP(s, v));
}

// round(n / kDen) for n >= 0 with n + kDen / 2 below 2^31 and a quotient
// below 2^22, kDen even, by a single-precision estimate set right by the
// exact remainder; `half` holds the lanes where n / kDen is exactly a half.
template <int32_t kDen>
HWY_INLINE VWI RoundedQuotient(VWI n, hn::Mask<WI>* half) {
    const WI di;
    const WF df;
    const auto den = hn::Set(di, kDen), one = hn::Set(di, 1);
    const auto y = hn::Add(n, hn::Set(di, kDen / 2));
    auto q = WholeToInt(hn::Floor(hn::Mul(hn::ConvertTo(df, y), hn::Set(df, 1.0f / kDen))));
    auto rest = hn::Sub(y, hn::Mul(q, den));
    const auto low = hn::Lt(rest, hn::Zero(di));
    q = hn::IfThenElse(low, hn::Sub(q, one), q);
    rest = hn::IfThenElse(low, hn::Add(rest, den), rest);
    const auto high = hn::Gt(rest, hn::Set(di, kDen - 1));
    q = hn::IfThenElse(high, hn::Add(q, one), q);
    rest = hn::IfThenElse(high, hn::Sub(rest, den), rest);
    *half = hn::Eq(rest, hn::Zero(di));
    return q;
}

// The back conversion of HSV2RGB for whole hues below kWholeHues, whole S 0
// to 255 and a value V = values[level] that is a whole number of hundredths
// N from 0 to 25500: packed[level] is N | trunc(V) << 16. In exact integers,
//   p = round(N (255 - S) / 25500)   and   x = round(N (15300 - S k) / 1530000)
// (k as in WholeBack). A quotient that is not a half lies at least 1 / 1530000
// from one, far beyond the double steps' errors; one that is exactly a half
// takes the double steps with the double V itself.
HWY_INLINE VWU HundredthsBack(VWI h, VWI s, VWI level, const int32_t* HWY_RESTRICT packed,
                              const double* HWY_RESTRICT values) {
    const WI di;
    VWI k;
    const auto ii = SectorOf(h, &k);
    const auto entry = hn::GatherIndex(di, packed, level);
    const auto n = hn::And(entry, hn::Set(di, 0xFFFF));
    hn::Mask<WI> p_half, x_half;
    auto p = RoundedQuotient<25500>(hn::Mul(n, hn::Sub(hn::Set(di, 255), s)), &p_half);
    auto x = RoundedQuotient<1530000>(hn::Mul(n, hn::Sub(hn::Set(di, 15300), hn::Mul(s, k))), &x_half);
    if (HWY_UNLIKELY(!hn::AllFalse(di, p_half))) {
        p = hn::IfThenElse(p_half, DoubleLevelOf(h, s, level, nullptr, values), p);
    }
    if (HWY_UNLIKELY(!hn::AllFalse(di, x_half))) {
        x = hn::IfThenElse(x_half, DoubleLevelOf(h, s, level, kHueFractions.data(), values), x);
    }
    return BySectorWords(ii, hn::ShiftRight<16>(entry), x, p);
}

// Moved saturations are held in steps of 1 / kSaturationSteps.
constexpr int kSaturationStepBits = 8;
constexpr int32_t kSaturationSteps = 1 << kSaturationStepBits;

// The back conversion of HSV2RGB for whole hues below kWholeHues and whole V
// 0 to 255 with the saturation of level S moved to any S' in 0 to 255, held
// between A / D and (A + d) / D (D = kSaturationSteps, A whole, d 0 or 1,
// S' above A / D when d is 1): packed[S] is A, with the high 16 bits set when
// d is 1, and fractions[S] is S' / 255 as HSV2RGB takes it.
// In exact integers at S' = A / D (k as in WholeBack),
//   p = round(V (255 D - A) / 255 D)   and   x = round(V (15300 D - A k) / 15300 D);
// at S' = (A + d) / D the numerators are smaller by V d and V k d. Each
// level falls as S' grows, in exact numbers and in the double steps alike
// (every rounded step is monotone in S'), so where both ends round alike and
// neither is a half (the remainder of the rounded quotient exceeds that
// decrease), every S' between them gets that level from the double steps too.
// Other lanes take the double steps themselves.
HWY_INLINE VWU SteppedSaturationBack(VWI h, VWI level, VWI v, const int32_t* HWY_RESTRICT packed,
                                     const double* HWY_RESTRICT fractions) {
    constexpr int32_t kP = 255 * kSaturationSteps, kX = 15300 * kSaturationSteps;
    const WI di;
    const WF df;
    VWI k;
    const auto ii = SectorOf(h, &k);
    const auto entry = hn::GatherIndex(di, packed, level);
    const auto a = hn::And(entry, hn::Set(di, 0xFFFF)), d = hn::ShiftRight<16>(entry);  // d: 0 or all ones
    const auto vk = hn::Mul(v, k);
    // Each quotient floors n + den / 2 as (that / D) / 255 or / 15300. The
    // first, below 65535, divides by 255 as shifts; the second, below 2^22,
    // by a rounded reciprocal in single precision, which floors right but
    // for whole quotients, where it may land one below.
    const auto yp = hn::Add(hn::Mul(v, hn::Sub(hn::Set(di, kP), a)), hn::Set(di, kP / 2));
    const auto wp = hn::ShiftRight<kSaturationStepBits>(yp);
    auto p = hn::ShiftRight<8>(hn::Add(hn::Add(wp, hn::Set(di, 1)), hn::ShiftRight<8>(wp)));
    const auto p_rest = hn::Sub(yp, hn::Mul(p, hn::Set(di, kP)));
    const auto yx = hn::Add(hn::Sub(hn::Mul(v, hn::Set(di, kX)), hn::Mul(a, vk)), hn::Set(di, kX / 2));
    const auto wx = hn::ConvertTo(df, hn::ShiftRight<kSaturationStepBits>(yx));
    auto x = WholeToInt(hn::Floor(hn::Mul(wx, hn::Set(df, 1.0f / 15300.0f))));
    auto x_rest = hn::Sub(yx, hn::Mul(x, hn::Set(di, kX)));
    const auto below = hn::Gt(x_rest, hn::Set(di, kX - 1));
    x = hn::IfThenElse(below, hn::Add(x, hn::Set(di, 1)), x);
    x_rest = hn::IfThenElse(below, hn::Sub(x_rest, hn::Set(di, kX)), x_rest);
    // A remainder of 0 is a half; one up to the decrease, a level that moves.
    const auto p_whole = hn::Gt(p_rest, hn::And(v, d)), x_whole = hn::Gt(x_rest, hn::And(vk, d));
    if (HWY_UNLIKELY(!hn::AllTrue(di, p_whole))) {
        p = hn::IfThenElse(p_whole, p, DoubleLevelOf(h, level, v, nullptr, kWholeLevels.data(), fractions));
    }
    if (HWY_UNLIKELY(!hn::AllTrue(di, x_whole))) {
        x = hn::IfThenElse(x_whole, x,
                           DoubleLevelOf(h, level, v, kHueFractions.data(), kWholeLevels.data(), fractions));
    }
    return BySectorWords(ii, v, x, p);
}

// Rewrites count words in place in full-width 32-bit vectors (TransformWords
// over the whole-number lanes' descriptor).
template <class WordOp>
HWY_INLINE void TransformWholeWords(uint32_t* HWY_RESTRICT data, size_t count, WordOp word_op) {
    TransformWords(WU(), data, count, word_op);
}

// True in the lanes whose alpha byte is above 0.
HWY_INLINE hn::Mask<WU> WholeVisible(VWU words) {
    return hn::Ne(hn::And(words, hn::Set(WU(), kAlphaBits)), hn::Zero(WU()));
}

// The double-precision round trip of every visible pixel with one component
// replaced through `moved`, a table of whole numbers indexed by the
// component: kMode 0 the hue (moved hues 0 to kWholeHues - 1), 1 the
// saturation, 2 the value (moved levels 0 to 255), any other none. Or,
// kMode 4, hues moved anywhere: `moved` then holds each hue's sector (0 to
// 5) and `fractions` its g as DoubleLevel takes it. Or, kMode 5, values
// moved to whole hundredths: `moved` and `fractions` are HundredthsBack's
// packed table and values. Or, kMode 6, saturations moved anywhere in 0 to
// 255: SteppedSaturationBack's packed table and fractions.
template <int kMode>
HWY_INLINE void WholeRoundTripWords(uint32_t* HWY_RESTRICT data, size_t count,
                                    const int32_t* HWY_RESTRICT moved,
                                    const double* HWY_RESTRICT fractions) {
    const WI di;
    TransformWholeWords(data, count, [&](VWU words) RURUREV_INLINE_STEP {
        WholeHsv hsv = WholeForward<false>(words);
        if (kMode == 0) hsv.h = hn::GatherIndex(di, moved, hsv.h);
        if (kMode == 1) hsv.s = hn::GatherIndex(di, moved, hsv.s);
        if (kMode == 2) hsv.v = hn::GatherIndex(di, moved, hsv.v);
        VWU colours;
        if (kMode == 6) {
            colours = SteppedSaturationBack(hsv.h, hsv.s, hsv.v, moved, fractions);
        } else if (kMode == 5) {
            colours = HundredthsBack(hsv.h, hsv.s, hsv.v, moved, fractions);
        } else if (kMode == 4) {
            // Every vector takes the double steps here: inline, as the step.
            const auto x = DoubleLevels(hsv.h, hsv.s, hsv.v, fractions, kWholeLevels.data(),
                                        kSaturationFractions.data());
            colours = BySectorWords(hn::GatherIndex(di, moved, hsv.h), hsv.v, x, WholeP(hsv.s, hsv.v));
        } else {
            colours = WholeBack<false>(hsv.h, hsv.s, hsv.v);
        }
        const auto alpha = hn::And(words, hn::Set(WU(), kAlphaBits));
        return hn::IfThenElse(WholeVisible(words), hn::Or(alpha, colours), words);
    });
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // RURUREV_SIMD_HSV_WHOLE_INL_H_
