// The HSV filters, fast: the double-precision round trip on vectors of
// doubles (simd/hsv-inl.h), and the toned negative through a per-call table
// of the kernel's own tones.
#include <algorithm>
#include <cmath>

#include "adjust/hsv_filters.h"
#include "core/pixel.h"
#include "engine/dispatch.h"
#include "filters/filter_functions.h"
#include "simd/hsv_whole.h"
#include "simd/target_call.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "adjust/hsv_filters_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/hsv-inl.h"
#include "simd/hsv_whole-inl.h"
#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The HSV round trips run on groups of this many vectors at a time.
constexpr size_t kGroup = 4;

// t3 is at most 256 in magnitude, so the sum cannot overflow.
HWY_INLINE V32 ShiftedAlpha(V32 words, int32_t t3) {
    const DI di;
    const auto a = hn::Add(hn::BitCast(di, hn::ShiftRight<24>(words)), hn::Set(di, t3));
    const auto clamped = hn::Min(hn::Max(a, hn::Zero(di)), hn::Set(di, 255));
    return hn::ShiftLeft<24>(hn::BitCast(D32(), clamped));
}

// Hues shifted beyond the whole steps' limit: the double-precision round
// trip, for t0 of 0 or more.
HWY_INLINE void ShiftHsv(uint32_t* HWY_RESTRICT data, size_t count, double t0, double t1,
                         double t2, int32_t t3) {
    const D d;
    const D32 d32;
    TransformWordGroups<kGroup>(d32, data, count, [&](const V32* words, V32* out) {
        HsvV<D> hsv[kGroup];
        for (size_t k = 0; k < kGroup; k++) hsv[k] = Rgb2Hsv(d, ChannelsOf(d, d32, words[k]));
        for (size_t k = 0; k < kGroup; k++) {
            // Whole numbers below 2^32 in magnitude: the sums are exact.
            hsv[k] = {hn::Add(hsv[k].h, hn::Set(d, t0)), Clamp255(d, hn::Add(hsv[k].s, hn::Set(d, t1))),
                      Clamp255(d, hn::Add(hsv[k].v, hn::Set(d, t2)))};
        }
        ChannelsV<D> rgb[kGroup];
        hn::Mask<D> none[kGroup];  // a hue of 0 or more always has a sector
        for (size_t k = 0; k < kGroup; k++) rgb[k] = Hsv2Rgb<true>(d, hsv[k], &none[k]);
        for (size_t k = 0; k < kGroup; k++) {
            const auto shifted = hn::Or(ShiftedAlpha(words[k], t3), WordsOf(d32, d, hn::Zero(d32), rgb[k]));
            out[k] = hn::IfThenElse(Visible(d32, words[k]), shifted, words[k]);
        }
    });
}

// The same in whole 32-bit lanes, for shifted hues below kWholeHues: t0 is
// 0 to kWholeHues - 360, or, when kWrap, a negative shift taken modulo 360
// (0 to 359), after which a hue of 360 or more comes back one turn. t1, t2
// and t3 are 256 at most in magnitude.
template <bool kWrap>
HWY_INLINE void ShiftHsvWhole(uint32_t* HWY_RESTRICT data, size_t count, int32_t t0, int32_t t1,
                              int32_t t2, int32_t t3) {
    const WI di;
    const WU du;
    TransformWholeWords(data, count, [&](VWU words) {
        const WholeHsv hsv = WholeForward<false>(words);
        auto h = hn::Add(hsv.h, hn::Set(di, t0));
        if (kWrap) h = hn::IfThenElse(hn::Gt(h, hn::Set(di, 359)), hn::Sub(h, hn::Set(di, 360)), h);
        const auto s = WholeClamp255(hn::Add(hsv.s, hn::Set(di, t1)));
        const auto v = WholeClamp255(hn::Add(hsv.v, hn::Set(di, t2)));
        const auto colours = WholeBack<false>(h, s, v);
        const auto a = hn::Add(hn::BitCast(di, hn::ShiftRight<24>(words)), hn::Set(di, t3));
        const auto alpha = hn::ShiftLeft<24>(hn::BitCast(du, WholeClamp255(a)));
        return hn::IfThenElse(WholeVisible(words), hn::Or(alpha, colours), words);
    });
}

void HsvShiftWords(uint32_t* HWY_RESTRICT data, size_t count, double t0, double t1, double t2,
                   int32_t t3) {
    // Offsets beyond 256 either way clamp the levels like 256 itself.
    const auto level = [](double t) { return static_cast<int32_t>(t < -256 ? -256 : t > 256 ? 256 : t); };
    if (t0 < 0) {
        // A negative hue goes round the wheel, so only t0 modulo 360 counts.
        const double turn = std::fmod(t0, 360.0);
        const int32_t rest = static_cast<int32_t>(turn < 0 ? turn + 360 : turn);
        ShiftHsvWhole<true>(data, count, rest, level(t1), level(t2), t3);
    } else if (t0 <= kWholeHues - 360) {
        ShiftHsvWhole<false>(data, count, static_cast<int32_t>(t0), level(t1), level(t2), t3);
    } else {
        ShiftHsv(data, count, t0, t1, t2, t3);
    }
}

// remap holds the new level of each level 0 to 255 of the value (or, when
// value is false, of the saturation). kLevels: every new level lies in 0 to
// 255, so the round trip needs no negative rounding.
template <bool kValue, bool kLevels>
HWY_INLINE void RemapLevels(uint32_t* HWY_RESTRICT data, size_t count,
                            const double* HWY_RESTRICT remap) {
    const D d;
    const D32 d32;
    TransformWordGroups<kGroup>(d32, data, count, [&](const V32* words, V32* out) {
        HsvV<D> hsv[kGroup];
        for (size_t k = 0; k < kGroup; k++) hsv[k] = Rgb2Hsv(d, ChannelsOf(d, d32, words[k]));
        for (size_t k = 0; k < kGroup; k++) {
            if (kValue) {
                hsv[k].v = TableAt(d, remap, hsv[k].v);
            } else {
                hsv[k].s = TableAt(d, remap, hsv[k].s);
            }
        }
        ChannelsV<D> rgb[kGroup];
        hn::Mask<D> none[kGroup];  // hues 0 to 359 always have a sector
        for (size_t k = 0; k < kGroup; k++) rgb[k] = Hsv2Rgb<kLevels>(d, hsv[k], &none[k]);
        for (size_t k = 0; k < kGroup; k++) {
            // In range, the levels come back in 0 to 255 already.
            const ChannelsV<D> c = kLevels ? rgb[k]
                                           : ChannelsV<D>{Clamp255(d, rgb[k].r), Clamp255(d, rgb[k].g),
                                                          Clamp255(d, rgb[k].b)};
            out[k] = hn::IfThenElse(Visible(d32, words[k]), WordsOf(d32, d, words[k], c), words[k]);
        }
    });
}

void LevelsWords(uint32_t* HWY_RESTRICT data, size_t count, const double* HWY_RESTRICT remap,
                 bool value, bool in_range) {
    if (value) {
        in_range ? RemapLevels<true, true>(data, count, remap)
                 : RemapLevels<true, false>(data, count, remap);
    } else {
        in_range ? RemapLevels<false, true>(data, count, remap)
                 : RemapLevels<false, false>(data, count, remap);
    }
}

// The grey level of tovoNega (single-precision weights, summed in double),
// less t3, truncated and clamped, picks the pixel's tone.
void NegativeWords(uint32_t* HWY_RESTRICT data, size_t count, const uint32_t* HWY_RESTRICT tones,
                   int32_t t3) {
    const D d;
    const D32 d32;
    const double wr = kGreyFloat.red, wg = kGreyFloat.green, wb = kGreyFloat.blue;
    TransformWordGroups<kGroup>(d32, data, count, [&](const V32* words, V32* out) {
        hn::Vec<DI> cave[kGroup];
        for (size_t k = 0; k < kGroup; k++) {
            const ChannelsV<D> c = ChannelsOf(d, d32, words[k]);
            const auto sum = hn::Add(hn::Add(hn::Mul(hn::Set(d, wr), c.r), hn::Mul(hn::Set(d, wg), c.g)),
                                     hn::Mul(hn::Set(d, wb), c.b));
            cave[k] = hn::DemoteTo(DI(), Clamp255(d, hn::Trunc(hn::Sub(sum, hn::Set(d, t3)))));
        }
        for (size_t k = 0; k < kGroup; k++) {
            const auto tone = hn::GatherIndex(d32, tones, cave[k]);
            out[k] = hn::IfThenElse(Visible(d32, words[k]), hn::Or(AlphaOf(words[k]), tone), words[k]);
        }
    });
}

// tovoHSV2 in whole 32-bit lanes, for 0 <= t3 <= 255 and |t0| <= 360: the
// raised channels (0 to 510) keep the hue and range of the pixel's own, the
// shifted hue stays 0 to 719 and always has a sector. t1 and t2 are held to
// -1024..1024, beyond which they clamp alike.
HWY_INLINE void NearColourWhole(uint32_t* HWY_RESTRICT data, size_t count, const int32_t* low,
                                const int32_t* high, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    const WI di;
    const WU du;
    const auto within = [&](VWI c, int k) {
        return hn::And(hn::Gt(c, hn::Set(di, low[k] - 1)), hn::Lt(c, hn::Set(di, high[k] + 1)));
    };
    // Inlined into the loop: most vectors hold no pixel near the colour and
    // end after the test, so a call per vector would cost as much as the
    // work, more so on Windows x64, where a vector argument and result pass
    // through memory.
    TransformWholeWords(data, count, [&](VWU words) RURUREV_INLINE_STEP {
        const auto r = WholeChannel(words, 16), g = WholeChannel(words, 8), b = WholeChannel(words, 0);
        const auto near = hn::And(hn::RebindMask(du, hn::And(hn::And(within(r, 0), within(g, 1)), within(b, 2))),
                                  WholeVisible(words));
        if (hn::AllFalse(du, near)) return words;
        const auto own_max = hn::Max(hn::Max(r, g), b);
        const auto range = hn::Sub(own_max, hn::Min(hn::Min(r, g), b));
        const auto cmax = hn::Add(own_max, hn::Set(di, t3));
        auto h = hn::Sub(WholeHue<true>(r, g, b, own_max, range), hn::Set(di, t0));
        h = hn::IfThenElse(hn::Lt(h, hn::Zero(di)), hn::Add(h, hn::Set(di, 360)), h);
        const auto s = WholeClamp255(hn::Sub(WholeSaturation<false>(cmax, range), hn::Set(di, t1)));
        const auto v = WholeClamp255(hn::Sub(cmax, hn::Set(di, t2)));
        const auto colours = WholeBack<true>(h, s, v);
        return hn::IfThenElse(near, hn::Or(hn::And(words, hn::Set(du, kAlphaBits)), colours), words);
    });
}

// tovoHSV2: only visible pixels whose red, green and blue each lie in
// low..high (per channel, in that order) change. Their channels, raised by
// t3 (at most 2^20 in magnitude, so they stay exact in single precision), go
// through the 8-bit pair with the hue less t0 (one turn added when that is
// negative), the saturation less t1 and the value, cmax less t2, both
// clamped; a hue with no sector keeps the raised channels.
void NearColourWords(uint32_t* HWY_RESTRICT data, size_t count, const int32_t* low,
                     const int32_t* high, double t0, double t1, double t2, double t3) {
    if (t3 >= 0 && t3 <= 255 && t0 >= -360 && t0 <= 360) {
        const auto held = [](double t) { return static_cast<int32_t>(t < -1024 ? -1024 : t > 1024 ? 1024 : t); };
        return NearColourWhole(data, count, low, high, static_cast<int32_t>(t0), held(t1), held(t2),
                               static_cast<int32_t>(t3));
    }
    const D d;
    const D32 d32;
    const DI di;
    const auto byte = hn::Set(d32, 255u);
    const auto within = [&](V32 channel, int k) {
        const auto c = hn::BitCast(di, channel);
        return hn::RebindMask(d32, hn::And(hn::Gt(c, hn::Set(di, low[k] - 1)),
                                           hn::Lt(c, hn::Set(di, high[k] + 1))));
    };
    const auto zero = hn::Zero(d);
    TransformWords(d32, data, count, [&](V32 words) {
        const auto near = hn::And(hn::And(within(hn::And(hn::ShiftRight<16>(words), byte), 0),
                                          within(hn::And(hn::ShiftRight<8>(words), byte), 1)),
                                  hn::And(within(hn::And(words, byte), 2), Visible(d32, words)));
        if (hn::AllFalse(d32, near)) return words;
        ChannelsV<D> c = ChannelsOf(d, d32, words);
        const auto raise = hn::Set(d, t3);
        c = {hn::Add(c.r, raise), hn::Add(c.g, raise), hn::Add(c.b, raise)};
        VD cmax;
        const HsvV<D> hsv = Hsv8Forward(d, c, &cmax);
        auto hh = hn::Sub(hsv.h, hn::Set(d, t0));
        hh = hn::IfThenElse(hn::Lt(hh, zero), hn::Add(hh, hn::Set(d, 360.0)), hh);
        const auto ss = Clamp255(d, hn::Sub(hsv.s, hn::Set(d, t1)));
        const auto vv = Clamp255(d, hn::Trunc(hn::Sub(cmax, hn::Set(d, t2))));
        hn::Mask<D> none;
        const ChannelsV<D> back = Hsv8Back(d, {hh, ss, vv}, &none);
        const ChannelsV<D> out = {Clamp255(d, hn::IfThenElse(none, c.r, back.r)),
                                  Clamp255(d, hn::IfThenElse(none, c.g, back.g)),
                                  Clamp255(d, hn::IfThenElse(none, c.b, back.b))};
        return hn::IfThenElse(near, WordsOf(d32, d, words, out), words);
    });
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev {
namespace simd {
HWY_EXPORT(HsvShiftWords);
HWY_EXPORT(LevelsWords);
HWY_EXPORT(NegativeWords);
HWY_EXPORT(NearColourWords);
}  // namespace simd

namespace fast {

void tovoHSV(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    if (plain_requested()) return kernel::tovoHSV(data, count, t0, t1, t2, t3);
    // An alpha offset beyond 256 either way clamps like 256 itself.
    RURUREV_DISPATCH(HsvShiftWords)(data, count, t0, t1, t2, std::clamp(t3, -256, 256));
}

void tovoNega(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    if (plain_requested()) return kernel::tovoNega(data, count, t0, t1, t2, t3);
    // The kernel's tone of each grey level: a grey pixel c has level c when
    // t3 is 0.
    uint32_t tones[256];
    for (uint32_t c = 0; c < 256; c++) tones[c] = kAlphaBits | c * 0x010101u;
    kernel::tovoNega(tones, 256, t0, t1, t2, 0);
    for (uint32_t& tone : tones) tone &= kColourBits;
    RURUREV_DISPATCH(NegativeWords)(data, count, tones, t3);
}

void tovoHSV2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint32_t t4, int32_t t5) {
    if (plain_requested()) return kernel::tovoHSV2(data, count, t0, t1, t2, t3, t4, t5);
    // The window of each channel, c0 - t5 to c0 + t5, held to -1..256: the
    // same channels 0 to 255 fall inside.
    const uint32_t c0[3] = {red_of(t4), green_of(t4), blue_of(t4)};
    int32_t low[3], high[3];
    for (int k = 0; k < 3; k++) {
        low[k] = static_cast<int32_t>(std::clamp<int64_t>(int64_t{c0[k]} - t5, -1, 256));
        high[k] = static_cast<int32_t>(std::clamp<int64_t>(int64_t{c0[k]} + t5, -1, 256));
    }
    // Larger brightening leaves single precision exact no longer.
    if (t3 < -(1 << 20) || t3 > (1 << 20)) return kernel::tovoHSV2(data, count, t0, t1, t2, t3, t4, t5);
    RURUREV_DISPATCH(NearColourWords)(data, count, low, high, t0, t1, t2, t3);
}

static void highlight_shadow(uint32_t* data, uint32_t count, bool value, int32_t t0, int32_t t1,
                             int32_t t2, int32_t t3, int32_t cmax, int32_t cmin) {
    // The new level of every level, in the kernel's steps: mapped so that
    // 255 lands on t0 and 0 on t1, rounded, offset, scaled, bounded below by
    // cmin and then above by cmax.
    const double span = static_cast<double>(int64_t{t0} - t1), gain = t3 * 0.01;
    double remap[256];
    int32_t whole_remap[256];
    bool in_range = true, whole = true;
    for (int level = 0; level < 256; level++) {
        double x = std::round(level / 255.0 * span + t1) + t2;
        x = x * gain;
        if (x < cmin) x = cmin;
        if (x > cmax) x = cmax;
        remap[level] = x;
        in_range = in_range && x >= 0 && x <= 255;
        whole = in_range && whole && x == std::floor(x);
        whole_remap[level] = whole ? static_cast<int32_t>(x) : 0;
    }
    // Whole new levels in range take the whole-number round trip.
    if (whole) {
        return simd::whole_moved(data, count, whole_remap,
                                 value ? simd::Moved::value : simd::Moved::saturation);
    }
    // New values in range that are whole hundredths (as a gain of t3 percent
    // makes them) take the round trip with the value in exact hundredths.
    if (value && in_range) {
        int32_t packed[256];
        bool hundredths = true;
        for (int level = 0; level < 256; level++) {
            const double n = std::floor(remap[level] * 100 + 0.5);
            hundredths = hundredths && std::fabs(remap[level] * 100 - n) < 1e-6;
            packed[level] = static_cast<int32_t>(n) | trunc_to_int(remap[level]) << 16;
        }
        if (hundredths) return simd::hundredths_value_moved(data, count, packed, remap);
    }
    // New saturations in range, fractions included (gains other than 100).
    if (!value && in_range) return simd::saturation_moved(data, count, remap);
    RURUREV_DISPATCH(LevelsWords)(data, count, remap, value, in_range);
}

void tovoHighShadow(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                    int32_t t3, int32_t cmax, int32_t cmin) {
    if (plain_requested()) return kernel::tovoHighShadow(data, count, t0, t1, t2, t3, cmax, cmin);
    highlight_shadow(data, count, true, t0, t1, t2, t3, cmax, cmin);
}

void tovoHighShadowDoder(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                         int32_t t3, int32_t cmax, int32_t cmin) {
    if (plain_requested()) {
        return kernel::tovoHighShadowDoder(data, count, t0, t1, t2, t3, cmax, cmin);
    }
    highlight_shadow(data, count, false, t0, t1, t2, t3, cmax, cmin);
}

}  // namespace fast
}  // namespace rururev
#endif  // HWY_ONCE
