// Per-target helpers shared by the SIMD fast paths (included once per
// Highway target, between HWY_BEFORE_NAMESPACE and HWY_AFTER_NAMESPACE by
// this file itself).
//
// Every fast path loads and stores with LoadU and StoreU, its own stack
// arrays included, which are declared without an alignment: 64-bit
// mingw-w64 GCC cannot align a local beyond the 16 bytes of the Windows
// stack, and an aligned 32- or 64-byte access there faults.
#if defined(RURUREV_SIMD_WORDS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef RURUREV_SIMD_WORDS_INL_H_
#undef RURUREV_SIMD_WORDS_INL_H_
#else
#define RURUREV_SIMD_WORDS_INL_H_
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <hwy/highway.h>

#include "core/pixel.h"

// Marks a per-vector step (a lambda handed to TransformWords) to be inlined
// into its loop on vector targets. Left alone, GCC calls a large step out
// of line from the loop that takes two vectors at a time, and on Windows
// x64 each call passes the vector and its result through memory. The
// emulated targets' vectors are arrays, and their steps inlined make
// functions that take the compiler most of a minute under the sanitizers;
// a call costs them little.
#undef RURUREV_INLINE_STEP
#if HWY_TARGET == HWY_EMU128 || HWY_TARGET == HWY_SCALAR
#define RURUREV_INLINE_STEP
#else
#define RURUREV_INLINE_STEP __attribute__((always_inline))
#endif

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Rewrites count words in place, in vectors of 32-bit lanes (two per step):
// word_op maps a vector of words to the vector of new words. The last
// partial vector goes through a zero-padded copy on the stack, so no word
// past the end of the caller's buffer is ever read or written.
template <class D, class WordOp>
HWY_INLINE void TransformWords(D d, uint32_t* HWY_RESTRICT data, size_t count, WordOp word_op) {
    const size_t lanes = hn::Lanes(d);
    size_t i = 0;
    for (; i + 2 * lanes <= count; i += 2 * lanes) {
        const auto a = word_op(hn::LoadU(d, data + i));
        const auto b = word_op(hn::LoadU(d, data + i + lanes));
        hn::StoreU(a, d, data + i);
        hn::StoreU(b, d, data + i + lanes);
    }
    for (; i + lanes <= count; i += lanes) {
        hn::StoreU(word_op(hn::LoadU(d, data + i)), d, data + i);
    }
    const size_t rest = count - i;
    if (rest == 0) return;
    uint32_t tail[HWY_MAX_BYTES / sizeof(uint32_t)] = {};
    std::memcpy(tail, data + i, rest * sizeof(uint32_t));
    hn::StoreU(word_op(hn::LoadU(d, tail)), d, tail);
    std::memcpy(data + i, tail, rest * sizeof(uint32_t));
}

// As TransformWords, but hands group_op kGroup vectors at a time (in and out
// are arrays of them), so that the work of independent vectors can be
// interleaved step by step: long chains of dependent operations, like the
// HSV round trip, then keep the processor busy. What is left after the last
// whole group goes through one zero-padded group on the stack.
template <size_t kGroup, class D, class GroupOp>
HWY_INLINE void TransformWordGroups(D d, uint32_t* HWY_RESTRICT data, size_t count,
                                    GroupOp group_op) {
    const size_t lanes = hn::Lanes(d);
    hn::Vec<D> in[kGroup], out[kGroup];
    size_t i = 0;
    for (; i + kGroup * lanes <= count; i += kGroup * lanes) {
        for (size_t k = 0; k < kGroup; k++) in[k] = hn::LoadU(d, data + i + k * lanes);
        group_op(in, out);
        for (size_t k = 0; k < kGroup; k++) hn::StoreU(out[k], d, data + i + k * lanes);
    }
    const size_t rest = count - i;
    if (rest == 0) return;
    uint32_t tail[kGroup * HWY_MAX_BYTES / sizeof(uint32_t)] = {};
    std::memcpy(tail, data + i, rest * sizeof(uint32_t));
    for (size_t k = 0; k < kGroup; k++) in[k] = hn::LoadU(d, tail + k * lanes);
    group_op(in, out);
    for (size_t k = 0; k < kGroup; k++) hn::StoreU(out[k], d, tail + k * lanes);
    std::memcpy(data + i, tail, rest * sizeof(uint32_t));
}

// (r + g + b) / 3 of channels 0 to 255 in 32-bit lanes: 43691 / 2^17
// exceeds 1/3 by less than 1/(3 * 765), so the product floors to the same
// whole number.
template <class V>
HWY_INLINE V MeanOf(V r, V g, V b) {
    const hn::DFromV<V> d;
    return hn::ShiftRight<17>(hn::Mul(hn::Add(hn::Add(r, g), b), hn::Set(d, 43691u)));
}

// True in the lanes whose alpha byte is above 0.
template <class D>
HWY_INLINE hn::Mask<D> Visible(D d, hn::Vec<D> words) {
    return hn::Ne(hn::And(words, hn::Set(d, kAlphaBits)), hn::Zero(d));
}

// The lanes most fast paths work in: doubles, and the 32-bit words, signed
// integers and floats that share their lane count.
using D = hn::ScalableTag<double>;
using D32 = hn::Rebind<uint32_t, D>;
using DI = hn::Rebind<int32_t, D>;
using DF = hn::Rebind<float, D>;
using VD = hn::Vec<D>;
using V32 = hn::Vec<D32>;

HWY_INLINE V32 AlphaOf(V32 words) { return hn::And(words, hn::Set(D32(), kAlphaBits)); }

// std::round for finite lanes below 2^52 in magnitude: truncate, then step
// one away from zero when the exact remainder is a half or more.
template <class D>
HWY_INLINE hn::Vec<D> RoundHalfAway(D d, hn::Vec<D> x) {
    const auto whole = hn::Trunc(x);
    const auto away = hn::Ge(hn::Abs(hn::Sub(x, whole)), hn::Set(d, 0.5));
    return hn::IfThenElse(away, hn::Add(whole, hn::CopySign(hn::Set(d, 1.0), x)), whole);
}

// The same for lanes known not to be negative (0 to 2^52).
template <class D>
HWY_INLINE hn::Vec<D> RoundUpHalf(D d, hn::Vec<D> x) {
    const auto whole = hn::Trunc(x);
    return hn::IfThenElse(hn::Ge(hn::Sub(x, whole), hn::Set(d, 0.5)), hn::Add(whole, hn::Set(d, 1.0)),
                          whole);
}

// The three channels 0 to 255 of 32-bit pixel words, as doubles.
template <class D>
struct ChannelsV {
    hn::Vec<D> r, g, b;
};

template <class D, class D32>
HWY_INLINE ChannelsV<D> ChannelsOf(D d, D32 d32, hn::Vec<D32> words) {
    const hn::Rebind<int32_t, D> di32;
    const auto byte = hn::Set(d32, 255u);
    auto as_double = [&](hn::Vec<D32> c) { return hn::PromoteTo(d, hn::BitCast(di32, c)); };
    return {as_double(hn::And(hn::ShiftRight<16>(words), byte)),
            as_double(hn::And(hn::ShiftRight<8>(words), byte)), as_double(hn::And(words, byte))};
}

// Pixel words from the alpha bits of `words` and whole channels 0 to 255:
// the colour is summed as one exact whole number below 2^24 and converted
// once.
template <class D32, class D>
HWY_INLINE hn::Vec<D32> WordsOf(D32 d32, D d, hn::Vec<D32> words, const ChannelsV<D>& c) {
    const hn::Rebind<int32_t, D> di32;
    const auto colour = hn::Add(hn::Add(hn::Mul(c.r, hn::Set(d, 65536.0)), hn::Mul(c.g, hn::Set(d, 256.0))), c.b);
    const auto alpha = hn::And(words, hn::Set(d32, kAlphaBits));
    return hn::Or(alpha, hn::BitCast(d32, hn::DemoteTo(di32, colour)));
}

HWY_INLINE VD AsDouble(V32 v) { return hn::PromoteTo(D(), hn::BitCast(DI(), v)); }
HWY_INLINE V32 AsWord(VD whole) { return hn::BitCast(D32(), hn::DemoteTo(DI(), whole)); }

// A mask of double lanes as a mask of the word lanes they came from.
HWY_INLINE hn::Mask<D32> WordMask(hn::Mask<D> m) {
    return hn::Ne(AsWord(hn::IfThenElseZero(m, hn::Set(D(), 1.0))), hn::Zero(D32()));
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // RURUREV_SIMD_WORDS_INL_H_
