// Gamma, fast: the luma and colour differences of every pixel on vectors
// of doubles in the kernel's order and precision, and the power itself, a
// call of the C library's single-precision pow, made once per distinct base
// and remembered: a frame holds far fewer lumas than pixels, and a clip
// mostly keeps its exponent, so the memo is kept from call to call.
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include "filters/filter_functions.h"
#include "core/pixel.h"
#include "adjust/single_power.h"
#include "engine/dispatch.h"
#include "filters/gamma_powers.h"
#include "simd/target_call.h"

#ifndef RURUREV_GAMMA_FAST_TYPES
#define RURUREV_GAMMA_FAST_TYPES
namespace rururev::simd {

// single_power(base, t0) for the bases met so far, one entry per slot. Bases of
// lumas 2 to 255 (2^-7 to 1) have a slot each when they differ by a luma
// step: their mantissa's bits 6 to 22 pick one of 2^17 slots for bases from
// 1/2 to 1, bits 7 to 22 one of 2^16 for 1/4 to 1/2, and so on down; other
// bases share the slots by their bits 6 to 23. A photo's 150,000 or so
// lumas then all stay in the 2 MB the memo holds.
//
// A slot is one 64-bit word, the power's bits above the base's bits
// inverted, read and written whole, so that the threads of one call can
// share the slots without a lock: each finds either its base's power or
// another base. An all-zero slot is empty, its key the bits of a NaN, which
// no base is (bases come from finite lumas).
class PowerMemo {
public:
    static constexpr uint32_t kSlots = 1u << 18;
    using Slot = std::atomic<uint64_t>;

    static uint32_t slot_of(uint32_t bits) {
        const uint32_t exponent = bits >> 23;  // the sign is 0 for these
        if (exponent >= 119 && exponent <= 126) {
            const uint32_t level = 126 - exponent;
            return (kSlots - (kSlots >> level)) + ((bits & 0x7FFFFFu) >> (6 + level));
        }
        return (bits >> 6) & (kSlots - 1);
    }

    PowerMemo(Slot* slots, float t0) : slots_(slots), t0_(t0) {}

    float operator()(float base) const {
        uint32_t bits;
        std::memcpy(&bits, &base, sizeof bits);
        Slot& slot = slots_[slot_of(bits)];
        const uint64_t entry = slot.load(std::memory_order_relaxed);
        float power;
        if (static_cast<uint32_t>(entry) == ~bits) {
            const uint32_t power_bits = static_cast<uint32_t>(entry >> 32);
            std::memcpy(&power, &power_bits, sizeof power);
            return power;
        }
        power = single_power(base, t0_);
        uint32_t power_bits;
        std::memcpy(&power_bits, &power, sizeof power_bits);
        slot.store(uint64_t{power_bits} << 32 | ~bits, std::memory_order_relaxed);
        return power;
    }

private:
    Slot* slots_;
    float t0_;
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
    return {Single(hn::Add(hn::Add(hn::Mul(k(kLuma.red), c.r), hn::Mul(k(kLuma.green), c.g)), hn::Mul(k(kLuma.blue), c.b))),
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
// the vector loops: the bases (and the colour differences, kept in single
// precision as the kernel holds them) in vectors, their powers one by one
// through the memo, then the new words in vectors. The last partial vector of a
// block goes through zero-padded copies on the stack.
void GammaWords(uint32_t* HWY_RESTRICT data, size_t count, const PowerMemo* memo, double t1, double t2,
                double t3) {
    const D d;
    const D32 d32;
    const DF df;
    const size_t lanes = hn::Lanes(d32);
    constexpr size_t kBlock = 1024;
    float bases[kBlock + HWY_MAX_BYTES / sizeof(float)];
    float us[kBlock + HWY_MAX_BYTES / sizeof(float)];
    float vs[kBlock + HWY_MAX_BYTES / sizeof(float)];
    float powers[kBlock + HWY_MAX_BYTES / sizeof(float)] = {};
    uint32_t tail[HWY_MAX_BYTES / sizeof(uint32_t)];
    for (size_t start = 0; start < count; start += kBlock) {
        uint32_t* block = data + start;
        const size_t n = count - start < kBlock ? count - start : kBlock;
        const size_t whole = n - n % lanes;
        const auto load = [&](size_t i) {
            if (i < whole) return hn::LoadU(d32, block + i);
            std::memset(tail, 0, sizeof tail);
            std::memcpy(tail, block + i, (n - i) * sizeof(uint32_t));
            return hn::LoadU(d32, tail);
        };
        for (size_t i = 0; i < n; i += lanes) {
            const Luma luma = LumaOf(load(i), t1, t2, t3);
            // The kernel divides in double and rounds to single; dividing
            // the single luma in single precision rounds to the same float
            // (double holds more than twice the digits of single).
            hn::StoreU(hn::Div(hn::DemoteTo(df, luma.y), hn::Set(df, 255.0f)), df, bases + i);
            hn::StoreU(hn::DemoteTo(df, luma.u), df, us + i);
            hn::StoreU(hn::DemoteTo(df, luma.v), df, vs + i);
        }
        for (size_t j = 0; j < n; j++) powers[j] = (*memo)(bases[j]);
        for (size_t i = 0; i < n; i += lanes) {
            const auto words = load(i);
            const Luma luma = {hn::Zero(d), hn::PromoteTo(d, hn::LoadU(df, us + i)),
                               hn::PromoteTo(d, hn::LoadU(df, vs + i))};
            const auto out = Rebuilt(words, luma, hn::PromoteTo(d, hn::LoadU(df, powers + i)));
            if (i < whole) {
                hn::StoreU(out, d32, block + i);
            } else {
                hn::StoreU(out, d32, tail);
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

namespace {

using simd::PowerMemo;

// The kept memo (zeros until a call fills it) and the exponent its
// powers are of; a call holds it while `kept_taken` is set.
PowerMemo::Slot kept_slots[PowerMemo::kSlots];
std::atomic<bool> kept_taken{false};
uint32_t kept_exponent = 0;
bool kept_filled = false;

uint32_t bits_of(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

}  // namespace

GammaPowers::GammaPowers(float t0) : t0_(t0), slots_(nullptr), kept_(false) {
    if (!kept_taken.exchange(true, std::memory_order_acquire)) {
        kept_ = true;
        slots_ = kept_slots;
        if (!kept_filled || kept_exponent != bits_of(t0)) {
            for (PowerMemo::Slot& slot : kept_slots) slot.store(0, std::memory_order_relaxed);
            kept_exponent = bits_of(t0);
            kept_filled = true;
        }
        return;
    }
    // Another call, on another host thread, holds the kept memo.
    slots_ = new (std::nothrow) PowerMemo::Slot[PowerMemo::kSlots]();
}

GammaPowers::~GammaPowers() {
    if (kept_) {
        kept_taken.store(false, std::memory_order_release);
    } else {
        delete[] static_cast<PowerMemo::Slot*>(slots_);
    }
}

void GammaPowers::run(uint32_t* data, uint32_t count, int32_t t1, int32_t t2, int32_t t3) const {
    if (plain_requested() || slots_ == nullptr) return kernel::tovoGanma(data, count, t0_, t1, t2, t3);
    const PowerMemo memo(static_cast<PowerMemo::Slot*>(slots_), t0_);
    RURUREV_DISPATCH(GammaWords)(data, count, &memo, t1, t2, t3);
}

void tovoGanma(uint32_t* data, uint32_t count, float t0, int32_t t1, int32_t t2, int32_t t3) {
    // A small image does not repay a memo.
    if (plain_requested() || count < 4096) return kernel::tovoGanma(data, count, t0, t1, t2, t3);
    GammaPowers(t0).run(data, count, t1, t2, t3);
}

}  // namespace fast
}  // namespace rururev
#endif  // HWY_ONCE
