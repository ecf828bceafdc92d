// Channel offsets, fast: every channel of a word is one byte, and an offset
// clamped to 0..255 is a saturating byte add (or subtract), so a vector
// adds all four offsets to many pixels at once.
#include <algorithm>

#include "filters/filter_functions.h"
#include "core/pixel.h"
#include "engine/dispatch.h"
#include "simd/target_call.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "adjust/offsets_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// raise and lower hold, per channel byte, how much to add and how much to
// take away; at most one of the two is non-zero for each channel.
void OffsetWords(uint32_t* HWY_RESTRICT data, size_t count, uint32_t raise, uint32_t lower,
                 bool visible_only) {
#if HWY_TARGET == HWY_SCALAR
    // One-lane vectors cannot be split into bytes: the bytes go one by one.
    for (size_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (visible_only && alpha_of(word) == 0) continue;
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const int64_t c = int64_t{(word >> shift) & 255u} + ((raise >> shift) & 255u) -
                              ((lower >> shift) & 255u);
            out |= clamp255(c) << shift;
        }
        data[i] = out;
    }
#else
    const hn::ScalableTag<uint32_t> d;
    const hn::Repartition<uint8_t, decltype(d)> d8;
    const auto up = hn::BitCast(d8, hn::Set(d, raise));
    const auto down = hn::BitCast(d8, hn::Set(d, lower));
    auto offset = [&](hn::Vec<decltype(d)> words) {
        const auto bytes = hn::SaturatedSub(hn::SaturatedAdd(hn::BitCast(d8, words), up), down);
        return hn::BitCast(d, bytes);
    };
    if (visible_only) {
        TransformWords(d, data, count, [&](hn::Vec<decltype(d)> words) {
            return hn::IfThenElse(Visible(d, words), offset(words), words);
        });
    } else {
        TransformWords(d, data, count, offset);
    }
#endif
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev {
namespace simd {
HWY_EXPORT(OffsetWords);
}  // namespace simd

namespace fast {

// The part of an offset that raises a channel, and the part that lowers it,
// each at most 255: a channel cannot move further than that.
static uint32_t raise_by(int32_t t) { return static_cast<uint32_t>(std::clamp<int64_t>(t, 0, 255)); }
static uint32_t lower_by(int32_t t) {
    return static_cast<uint32_t>(std::clamp<int64_t>(-int64_t{t}, 0, 255));
}

static void offset_words(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                         int32_t t3, bool visible_only) {
    const uint32_t raise = pack(raise_by(t3), raise_by(t0), raise_by(t1), raise_by(t2));
    const uint32_t lower = pack(lower_by(t3), lower_by(t0), lower_by(t1), lower_by(t2));
    RURUREV_DISPATCH(OffsetWords)(data, count, raise, lower, visible_only);
}

void tovoRGB(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    if (plain_requested()) return kernel::tovoRGB(data, count, t0, t1, t2, t3);
    offset_words(data, count, t0, t1, t2, t3, false);
}

void tovoRGB2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    if (plain_requested()) return kernel::tovoRGB2(data, count, t0, t1, t2, t3);
    offset_words(data, count, t0, t1, t2, t3, true);
}

}  // namespace fast
}  // namespace rururev
#endif  // HWY_ONCE
