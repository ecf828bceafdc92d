// The tone filters, fast: grey levels summed on vectors of doubles in the
// kernels' order, and per-call level tables looked up per lane. The tables
// are made by running the plain kernel over the 256 grey pixels, so they
// hold exactly the kernel's own levels.
#include <algorithm>

#include "filters/filter_functions.h"
#include "core/pixel.h"
#include "simd/channel_tables.h"
#include "engine/dispatch.h"
#include "simd/target_call.h"

#ifndef RURUREV_TONE_FAST_CONSTANTS
#define RURUREV_TONE_FAST_CONSTANTS
namespace rururev::simd {
// Level table entries hold a level in its channel's bits, and this bit when
// the level cuts the pixel away.
constexpr uint32_t kCutBit = 0x01000000u;
}  // namespace rururev::simd
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "adjust/tone_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/hsv-inl.h"
#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Red, green and blue with an 8-bit offset each, wrapping modulo 256.
struct Wrapped {
    V32 r, g, b;
};

HWY_INLINE Wrapped WrapAdd(V32 words, uint32_t t0, uint32_t t1, uint32_t t2) {
    const D32 d32;
    const auto byte = hn::Set(d32, 255u);
    return {hn::And(hn::Add(hn::ShiftRight<16>(words), hn::Set(d32, t0)), byte),
            hn::And(hn::Add(hn::ShiftRight<8>(words), hn::Set(d32, t1)), byte),
            hn::And(hn::Add(words, hn::Set(d32, t2)), byte)};
}


// (wr * r + wg * g) + wb * b, in that order.
HWY_INLINE VD Weighted(VD r, VD g, VD b, double wr, double wg, double wb) {
    const D d;
    return hn::Add(hn::Add(hn::Mul(hn::Set(d, wr), r), hn::Mul(hn::Set(d, wg), g)),
                   hn::Mul(hn::Set(d, wb), b));
}

HWY_INLINE V32 Lookup(const uint32_t* HWY_RESTRICT table, V32 index) {
    return hn::GatherIndex(D32(), table, hn::BitCast(DI(), index));
}

void MonoWords(uint32_t* HWY_RESTRICT data, size_t count, double wr, double wg, double wb,
               int32_t t3) {
    const D d;
    const DF df;
    const auto offset = hn::Set(d, t3);
    TransformWords(D32(), data, count, [&](V32 words) {
        const ChannelsV<D> c = ChannelsOf(d, D32(), words);
        const auto sum = Weighted(hn::Add(offset, c.r), hn::Add(offset, c.g),
                                  hn::Add(offset, c.b), wr, wg, wb);
        const auto mono = hn::Min(hn::Max(hn::DemoteTo(df, sum), hn::Zero(df)), hn::Set(df, 255.0f));
        const auto level = hn::BitCast(D32(), hn::ConvertTo(DI(), mono));
        const auto grey = hn::Or(hn::Or(hn::ShiftLeft<16>(level), hn::ShiftLeft<8>(level)), level);
        return hn::IfThenElse(Visible(D32(), words), hn::Or(AlphaOf(words), grey), words);
    });
}

void ThresholdWords(uint32_t* HWY_RESTRICT data, size_t count, uint32_t t0, uint32_t t1,
                    uint32_t t2, int32_t t3, bool mean, uint32_t above, uint32_t at_or_below) {
    const D d;
    const D32 d32;
    const DI di;
    TransformWords(d32, data, count, [&](V32 words) {
        const Wrapped c = WrapAdd(words, t0, t1, t2);
        V32 cave;
        if (mean) {
            cave = hn::And(hn::Sub(MeanOf(c.r, c.g, c.b), hn::Set(d32, static_cast<uint32_t>(t3))),
                           hn::Set(d32, 255u));
        } else {
            // floor(grey - t3) modulo 256, in doubles: the scaling by 1/256
            // is exact, so the remainder is too.
            const auto x = hn::Floor(hn::Sub(
                Weighted(AsDouble(c.r), AsDouble(c.g), AsDouble(c.b), kGreyDouble.red, kGreyDouble.green, kGreyDouble.blue),
                hn::Set(d, t3)));
            const auto turns = hn::Floor(hn::Mul(x, hn::Set(d, 1.0 / 256)));
            cave = AsWord(hn::Sub(x, hn::Mul(turns, hn::Set(d, 256.0))));
        }
        const auto level = [&](V32 channel) {
            return hn::IfThenElse(hn::RebindMask(d32, hn::Gt(hn::BitCast(di, channel), hn::BitCast(di, cave))),
                                  hn::Set(d32, above), hn::Set(d32, at_or_below));
        };
        const auto out = hn::Or(hn::Or(AlphaOf(words), hn::ShiftLeft<16>(level(c.r))),
                                hn::Or(hn::ShiftLeft<8>(level(c.g)), level(c.b)));
        return hn::IfThenElse(Visible(d32, words), out, words);
    });
}

void RangeKeyWords(uint32_t* HWY_RESTRICT data, size_t count, double low, double high, bool fill,
                   uint32_t fill_colour, bool mean) {
    const D d;
    const D32 d32;
    TransformWords(d32, data, count, [&](V32 words) {
        const ChannelsV<D> c = ChannelsOf(d, d32, words);
        VD gray;
        if (mean) {
            const auto byte = hn::Set(d32, 255u);
            gray = AsDouble(MeanOf(hn::And(hn::ShiftRight<16>(words), byte),
                                   hn::And(hn::ShiftRight<8>(words), byte), hn::And(words, byte)));
        } else {
            gray = RoundUpHalf(d, Weighted(c.r, c.g, c.b, kLuma.red, kLuma.green, kLuma.blue));
        }
        const auto from_low = hn::Le(hn::Set(d, low), gray);
        V32 out;
        if (fill) {
            const auto in_band = WordMask(hn::And(from_low, hn::Le(gray, hn::Set(d, high))));
            out = hn::Or(hn::IfThenElseZero(in_band, AlphaOf(words)), hn::Set(d32, fill_colour));
        } else {
            const auto in_band = WordMask(hn::And(from_low, hn::Lt(gray, hn::Set(d, high))));
            out = hn::IfThenElse(in_band, words, hn::And(words, hn::Set(d32, kColourBits)));
        }
        return hn::IfThenElse(Visible(d32, words), out, words);
    });
}

HWY_INLINE V32 LevelledWord(V32 words, V32 entries) {
    const D32 d32;
    const auto cut = hn::Ne(hn::And(entries, hn::Set(d32, kCutBit)), hn::Zero(d32));
    const auto colour = hn::And(entries, hn::Set(d32, kColourBits));
    return hn::Or(hn::IfThenZeroElse(cut, AlphaOf(words)), colour);
}

// Grey mode: the rounded grey of the offset channels indexes one table.
void GreyLevelWords(uint32_t* HWY_RESTRICT data, size_t count, const uint32_t* HWY_RESTRICT grey,
                    uint32_t t1, uint32_t t2, uint32_t t3) {
    const D d;
    const D32 d32;
    constexpr size_t kGroup = 4;
    TransformWordGroups<kGroup>(d32, data, count, [&](const V32* words, V32* out) {
        V32 level[kGroup];
        for (size_t k = 0; k < kGroup; k++) {
            const Wrapped c = WrapAdd(words[k], t1, t2, t3);
            const auto ave = RoundUpHalf(
                d, Weighted(AsDouble(c.r), AsDouble(c.g), AsDouble(c.b), kGreyDouble.red, kGreyDouble.green, kGreyDouble.blue));
            level[k] = AsWord(ave);
        }
        for (size_t k = 0; k < kGroup; k++) level[k] = Lookup(grey, level[k]);
        for (size_t k = 0; k < kGroup; k++) {
            out[k] = hn::IfThenElse(Visible(d32, words[k]), LevelledWord(words[k], level[k]), words[k]);
        }
    });
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev {
namespace simd {
HWY_EXPORT(MonoWords);
HWY_EXPORT(ThresholdWords);
HWY_EXPORT(RangeKeyWords);
HWY_EXPORT(GreyLevelWords);
}  // namespace simd

namespace fast {

void tovoMono(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              bool t4) {
    if (plain_requested()) return kernel::tovoMono(data, count, t0, t1, t2, t3, t4);
    // The weights as the kernel forms them.
    const float red = kGreyFloat.red, green = kGreyFloat.green, blue = kGreyFloat.blue;
    const double wr = t4 ? t0 / 255.0 + red : red;
    const double wg = t4 ? t1 / 255.0 + green : green;
    const double wb = t4 ? t2 / 255.0 + blue : blue;
    RURUREV_DISPATCH(MonoWords)(data, count, wr, wg, wb, t3);
}

void tovo2Pns(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint8_t t4, int32_t t5, int32_t t6) {
    if (plain_requested()) return kernel::tovo2Pns(data, count, t0, t1, t2, t3, t4, t5, t6);
    RURUREV_DISPATCH(ThresholdWords)
    (data, count, static_cast<uint32_t>(t0), static_cast<uint32_t>(t1), static_cast<uint32_t>(t2),
     t3, t4 == 1, clamp255(t5), clamp255(t6));
}

void tovoRngPut(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc,
                uint8_t chk) {
    if (plain_requested()) return kernel::tovoRngPut(data, count, t0, t1, t2, oc, chk);
    // Both ends are whole numbers below 2^33: exact as doubles.
    const double low = static_cast<double>(t0);
    const double high = static_cast<double>(int64_t{t0} + t1);
    RURUREV_DISPATCH(RangeKeyWords)
    (data, count, low, high, t2 == 0, oc & kColourBits, chk != 0);
}

namespace {

// The kernel's level of every grey pixel (offsets 0), with the cut bit
// where tovoNStage2 makes that grey transparent: a pixel is cut when any of
// its levels is.
void level_table(int32_t t0, bool cut, uint32_t* levels) {
    uint32_t greys[256], cuts[256];
    for (uint32_t c = 0; c < 256; c++) greys[c] = cuts[c] = kAlphaBits | c * 0x010101u;
    kernel::tovoNStage(greys, 256, t0, 0, 0, 0, false);
    if (cut) kernel::tovoNStage2(cuts, 256, t0, 0, 0, 0, false);
    for (uint32_t c = 0; c < 256; c++) {
        levels[c] = red_of(greys[c]) | (cut && alpha_of(cuts[c]) == 0 ? simd::kCutBit : 0);
    }
}

void nstage(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
            bool chk0, bool cut) {
    uint32_t levels[256];
    level_table(t0, cut, levels);
    const auto flag = [&](uint32_t entry) { return entry & simd::kCutBit; };
    if (chk0) {
        uint32_t grey[256];
        for (uint32_t c = 0; c < 256; c++) grey[c] = (levels[c] & 255u) * 0x010101u | flag(levels[c]);
        RURUREV_DISPATCH(GreyLevelWords)
        (data, count, grey, static_cast<uint32_t>(t1), static_cast<uint32_t>(t2),
         static_cast<uint32_t>(t3));
        return;
    }
    // Colour mode: every channel through the level table after its offset,
    // and the levels that cut a pixel are those below the lowest level that
    // does not (256 when every level cuts; 0 when none does).
    uint8_t level[256];
    uint32_t cut_below = cut ? 256 : 0;
    for (uint32_t c = 0; c < 256; c++) {
        level[c] = static_cast<uint8_t>(levels[c]);
        if (cut && flag(levels[c]) == 0) cut_below = std::min(cut_below, levels[c] & 255u);
    }
    const simd::ChannelMoves moves{true, true, true, static_cast<uint8_t>(t1), static_cast<uint8_t>(t2),
                                   static_cast<uint8_t>(t3)};
    simd::apply_channel_levels(data, count, level, moves, cut_below);
}

}  // namespace

void tovoNStage(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                bool chk0) {
    if (plain_requested()) return kernel::tovoNStage(data, count, t0, t1, t2, t3, chk0);
    nstage(data, count, t0, t1, t2, t3, chk0, false);
}

void tovoNStage2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                 bool chk0) {
    if (plain_requested()) return kernel::tovoNStage2(data, count, t0, t1, t2, t3, chk0);
    nstage(data, count, t0, t1, t2, t3, chk0, true);
}

}  // namespace fast
}  // namespace rururev
#endif  // HWY_ONCE
