// Gamma, fast: the luma and colour differences of every pixel on vectors
// of doubles in the kernel's order and precision, and the power itself, a
// call of the C library's single-precision pow, made once per distinct base
// and remembered for the call: a frame holds far fewer lumas than pixels.
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "adjust/tone_filters.h"
#include "pixel.h"
#include "simd/dispatch.h"
#include "simd/fast.h"

#ifndef RURUREV_GAMMA_FAST_TYPES
#define RURUREV_GAMMA_FAST_TYPES
namespace rururev::simd {

// powf(base, t0) for the bases met so far, one entry per slot: a slot picks
// a base by its bits 6 to 22, so that nearby lumas land in nearby slots
// (1 MB in all, held while the call lasts).
class PowerMemo {
public:
    static constexpr uint32_t kSlots = 1u << 17;

    explicit PowerMemo(float t0) : t0_(t0) {}

    // False when its table cannot be had.
    bool ready() const { return keys_ != nullptr && values_ != nullptr; }

    float operator()(float base) {
        uint32_t bits;
        std::memcpy(&bits, &base, sizeof bits);
        const uint32_t slot = (bits >> 6) & (kSlots - 1);
        if (keys_[slot] != bits) {
            keys_[slot] = bits;
            values_[slot] = std::pow(base, t0_);
        }
        return values_[slot];
    }

private:
    // An empty slot's key is a NaN pattern no base can have: bases come
    // from finite lumas.
    static uint32_t* empty_keys() {
        uint32_t* keys = new (std::nothrow) uint32_t[kSlots];
        if (keys != nullptr) std::memset(keys, 0xFF, kSlots * sizeof(uint32_t));
        return keys;
    }

    float t0_;
    std::unique_ptr<uint32_t[]> keys_{empty_keys()};
    std::unique_ptr<float[]> values_{new (std::nothrow) float[kSlots]};
};

}  // namespace rururev::simd
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "adjust/gamma_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// A value rounded to single precision and back.
HWY_INLINE VD Single(VD x) { return hn::PromoteTo(D(), hn::DemoteTo(DF(), x)); }

// The kernel's channel_of: the sum held in single precision, plus a half,
// 0 when below 1 or not a number, 255 from 256 up, else truncated.
HWY_INLINE VD ChannelOf(VD sum) {
    const D d;
    const auto shifted = hn::Add(Single(sum), hn::Set(d, 0.5));
    const auto low = hn::Or(hn::IsNaN(shifted), hn::Lt(shifted, hn::Set(d, 1.0)));
    const auto high = hn::Ge(shifted, hn::Set(d, 256.0));
    return hn::IfThenZeroElse(low, hn::IfThenElse(high, hn::Set(d, 255.0), hn::Trunc(shifted)));
}

void GammaWords(uint32_t* HWY_RESTRICT data, size_t count, PowerMemo* memo, double t1, double t2,
                double t3) {
    const D d;
    const D32 d32;
    const auto k = [&](double v) { return hn::Set(d, v); };
    HWY_ALIGN float bases[HWY_MAX_BYTES / sizeof(double)];
    HWY_ALIGN float powers[HWY_MAX_BYTES / sizeof(double)];
    TransformWords(d32, data, count, [&](V32 words) {
        ChannelsV<D> c = ChannelsOf(d, d32, words);
        c = {hn::Add(c.r, k(t1)), hn::Add(c.g, k(t2)), hn::Add(c.b, k(t3))};
        const auto y = Single(hn::Add(hn::Add(hn::Mul(k(0.299), c.r), hn::Mul(k(0.587), c.g)),
                                      hn::Mul(k(0.114), c.b)));
        const auto u = Single(hn::Add(hn::Sub(hn::Mul(k(-0.169), c.r), hn::Mul(k(0.3316), c.g)),
                                      hn::Mul(k(0.5), c.b)));
        const auto v = Single(hn::Sub(hn::Sub(hn::Mul(k(0.5), c.r), hn::Mul(k(0.4186), c.g)),
                                      hn::Mul(k(0.0813), c.b)));
        hn::Store(hn::DemoteTo(DF(), hn::Div(y, k(255.0))), DF(), bases);
        for (size_t j = 0; j < hn::Lanes(d); j++) powers[j] = (*memo)(bases[j]);
        const auto y2 = Single(hn::Mul(hn::PromoteTo(d, hn::Load(DF(), powers)), k(255.0)));
        const ChannelsV<D> out = {
            ChannelOf(hn::Add(y2, hn::Mul(k(1.402), v))),
            ChannelOf(hn::Sub(hn::Sub(y2, hn::Mul(k(0.344), u)), hn::Mul(k(0.714), v))),
            ChannelOf(hn::Add(y2, hn::Mul(k(1.772), u)))};
        return WordsOf(d32, d, words, out);
    });
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev {
namespace simd {
HWY_EXPORT(GammaWords);
}  // namespace simd

namespace fast {

void tovoGanma(uint32_t* data, uint32_t count, float t0, int32_t t1, int32_t t2, int32_t t3) {
    // A small image does not repay setting up the memo.
    if (plain_requested() || count < 4096) return kernel::tovoGanma(data, count, t0, t1, t2, t3);
    simd::PowerMemo memo(t0);
    if (!memo.ready()) return kernel::tovoGanma(data, count, t0, t1, t2, t3);
    HWY_DYNAMIC_DISPATCH(simd::GammaWords)(data, count, &memo, t1, t2, t3);
}

}  // namespace fast
}  // namespace rururev
#endif  // HWY_ONCE
