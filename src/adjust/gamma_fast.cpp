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

// The luma, and the colour differences u and v, of whole words, each summed
// in the kernel's order and held in single precision.
struct Luma {
    VD y, u, v;
};

HWY_INLINE Luma LumaOf(V32 words, double t1, double t2, double t3) {
    const D d;
    const auto k = [&](double x) { return hn::Set(d, x); };
    ChannelsV<D> c = ChannelsOf(d, D32(), words);
    c = {hn::Add(c.r, k(t1)), hn::Add(c.g, k(t2)), hn::Add(c.b, k(t3))};
    return {Single(hn::Add(hn::Add(hn::Mul(k(0.299), c.r), hn::Mul(k(0.587), c.g)), hn::Mul(k(0.114), c.b))),
            Single(hn::Add(hn::Sub(hn::Mul(k(-0.169), c.r), hn::Mul(k(0.3316), c.g)), hn::Mul(k(0.5), c.b))),
            Single(hn::Sub(hn::Sub(hn::Mul(k(0.5), c.r), hn::Mul(k(0.4186), c.g)), hn::Mul(k(0.0813), c.b)))};
}

// The new word from the luma's power: the luma rebuilt and the channels
// summed back from it.
HWY_INLINE V32 Rebuilt(V32 words, const Luma& luma, VD power) {
    const D d;
    const auto k = [&](double x) { return hn::Set(d, x); };
    const auto y = Single(hn::Mul(power, k(255.0)));
    const ChannelsV<D> out = {
        ChannelOf(hn::Add(y, hn::Mul(k(1.402), luma.v))),
        ChannelOf(hn::Sub(hn::Sub(y, hn::Mul(k(0.344), luma.u)), hn::Mul(k(0.714), luma.v))),
        ChannelOf(hn::Add(y, hn::Mul(k(1.772), luma.u)))};
    return WordsOf(D32(), d, words, out);
}

// Blocks of pixels in three passes, so that the calls of pow stay out of
// the vector loops: the bases in vectors, their powers one by one through
// the memo, then the new words in vectors. The last partial vector of a
// block goes through zero-padded copies on the stack.
void GammaWords(uint32_t* HWY_RESTRICT data, size_t count, PowerMemo* memo, double t1, double t2,
                double t3) {
    const D d;
    const D32 d32;
    const DF df;
    const size_t lanes = hn::Lanes(d32);
    constexpr size_t kBlock = 1024;
    HWY_ALIGN float bases[kBlock + HWY_MAX_BYTES / sizeof(float)];
    HWY_ALIGN float powers[kBlock + HWY_MAX_BYTES / sizeof(float)] = {};
    HWY_ALIGN uint32_t tail[HWY_MAX_BYTES / sizeof(uint32_t)];
    for (size_t start = 0; start < count; start += kBlock) {
        uint32_t* block = data + start;
        const size_t n = count - start < kBlock ? count - start : kBlock;
        const size_t whole = n - n % lanes;
        const auto load = [&](size_t i) {
            if (i < whole) return hn::LoadU(d32, block + i);
            std::memset(tail, 0, sizeof tail);
            std::memcpy(tail, block + i, (n - i) * sizeof(uint32_t));
            return hn::Load(d32, tail);
        };
        for (size_t i = 0; i < n; i += lanes) {
            const Luma luma = LumaOf(load(i), t1, t2, t3);
            hn::Store(hn::DemoteTo(df, hn::Div(luma.y, hn::Set(d, 255.0))), df, bases + i);
        }
        for (size_t j = 0; j < n; j++) powers[j] = (*memo)(bases[j]);
        for (size_t i = 0; i < n; i += lanes) {
            const auto words = load(i);
            const auto out = Rebuilt(words, LumaOf(words, t1, t2, t3), hn::PromoteTo(d, hn::Load(df, powers + i)));
            if (i < whole) {
                hn::StoreU(out, d32, block + i);
            } else {
                hn::Store(out, d32, tail);
                std::memcpy(block + i, tail, (n - i) * sizeof(uint32_t));
            }
        }
    }
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
