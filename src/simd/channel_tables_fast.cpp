// Level tables per channel. With AVX-512 VBMI, a 256-byte table is four
// vectors and one two-table byte permute per half looks up 64 channels at
// once. The other x86 targets look every byte of a vector up at once in the
// one shared table: a table of few steps (a posterisation) as a sum of
// compares, one per step; any other through sixteen 16-byte shuffles, one
// per sixteenth of the table, by the low four bits, the high four bits then
// picking among them, but with AVX2, whose word gathers take about as long,
// by gathering each channel from a table of words, as the portable code
// does. WebAssembly takes the compares for few steps, the gathers otherwise.
#include "core/pixel.h"
#include "simd/channel_tables.h"
#include "simd/target_call.h"

#ifndef RURUREV_CHANNEL_TABLES_ONCE
#define RURUREV_CHANNEL_TABLES_ONCE
namespace rururev::simd {
namespace {

// The table each channel goes through, its offset and whether it moves
// folded in.
struct ChannelTables {
    uint8_t red[256], green[256], blue[256];
    ChannelTables(const uint8_t* levels, ChannelMoves moves) {
        const auto fill = [&](uint8_t* table, bool moved, uint8_t offset) {
            for (uint32_t c = 0; c < 256; c++) {
                table[c] = moved ? levels[(c + offset) & 255u] : static_cast<uint8_t>(c);
            }
        };
        fill(red, moves.red, moves.red_offset);
        fill(green, moves.green, moves.green_offset);
        fill(blue, moves.blue, moves.blue_offset);
    }
};

// A table as its first level and the steps where it changes: from level
// from[k] on, every entry is step[k] more (modulo 256) than the one before,
// until the next step. Each target reads at most the number of steps whose
// compares take less time than its general lookup (kMaxSteps below).
struct TableSteps {
    static constexpr uint32_t kMostSteps = 10;
    uint8_t first = 0;
    uint32_t count = 0;
    uint8_t from[kMostSteps] = {}, step[kMostSteps] = {};

    // False when the table has more than most steps (at most kMostSteps).
    bool read(const uint8_t* levels, uint32_t most) {
        first = levels[0];
        count = 0;
        for (uint32_t c = 1; c < 256; c++) {
            if (levels[c] == levels[c - 1]) continue;
            if (count == most) return false;
            from[count] = static_cast<uint8_t>(c);
            step[count] = static_cast<uint8_t>(levels[c] - levels[c - 1]);
            count++;
        }
        return true;
    }
};

}  // namespace
}  // namespace rururev::simd
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "simd/channel_tables_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Targets that look bytes up a vector at a time: x86's, and WebAssembly's
// for tables of few steps (its byte shuffles, sixteen per lookup, took
// longer than loading each lane in turn).
#undef RURUREV_BYTE_LOOKUPS
#define RURUREV_BYTE_LOOKUPS \
    ((HWY_ARCH_X86 || HWY_ARCH_WASM) && HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128)

#if RURUREV_BYTE_LOOKUPS

// Whole vectors of words, and of their bytes.
using DW = hn::ScalableTag<uint32_t>;
using D8 = hn::Repartition<uint8_t, DW>;
using V8 = hn::Vec<D8>;

// The most steps a table may have to be looked up by compares: beyond them
// the target's general lookup was as fast, on one thread on the development
// machine (a virtual Intel Xeon; tovoNStage, whose steps are about its
// stages, at 2 to 30 stages; WebAssembly under Node 20).
#if HWY_TARGET == HWY_AVX3_DL
constexpr uint32_t kMaxSteps = 6;
#elif HWY_TARGET == HWY_AVX3
constexpr uint32_t kMaxSteps = 8;
#elif HWY_TARGET == HWY_AVX2
constexpr uint32_t kMaxSteps = 7;
#elif HWY_TARGET == HWY_WASM
constexpr uint32_t kMaxSteps = 5;
#else
constexpr uint32_t kMaxSteps = 10;
#endif
static_assert(kMaxSteps <= TableSteps::kMostSteps, "steps beyond the table's room");

#if HWY_TARGET != HWY_AVX2 && HWY_TARGET != HWY_AVX3_DL && HWY_TARGET != HWY_WASM
// The shared table as sixteen 16-byte parts, each repeated in every 128-bit
// block of a vector (a byte shuffle looks up within its own block).
struct SixteenthTable {
    V8 part[16];
    explicit SixteenthTable(const uint8_t* table) {
        for (size_t k = 0; k < 16; k++) part[k] = hn::LoadDup128(D8(), table + 16 * k);
    }
    // table[index] for each byte: the part each low four bits pick, then
    // bits 4, 5, 6 and 7 halve the sixteen candidates in turn (a blend on
    // each byte's top bit, where a 16-bit shift brings the bit).
    V8 operator()(V8 index) const {
        const D8 d8;
        const hn::Repartition<int8_t, D8> di8;
        const hn::Repartition<uint16_t, D8> d16;
        const auto low = hn::And(index, hn::Set(d8, 15));
        V8 level[16];
        for (size_t k = 0; k < 16; k++) level[k] = hn::TableLookupBytes(part[k], low);
        const auto pick = [&](V8 top_bit, size_t pairs) {
            for (size_t k = 0; k < pairs; k++) {
                level[k] = hn::BitCast(d8, hn::IfNegativeThenElse(hn::BitCast(di8, top_bit),
                                                                  hn::BitCast(di8, level[2 * k + 1]),
                                                                  hn::BitCast(di8, level[2 * k])));
            }
        };
        pick(hn::BitCast(d8, hn::ShiftLeft<3>(hn::BitCast(d16, index))), 8);
        pick(hn::BitCast(d8, hn::ShiftLeft<2>(hn::BitCast(d16, index))), 4);
        pick(hn::BitCast(d8, hn::ShiftLeft<1>(hn::BitCast(d16, index))), 2);
        pick(index, 1);
        return level[0];
    }
};
#endif

// The levels of a table of few steps: its first level, plus each step for
// the indices at or above where it starts.
struct StepTable {
    V8 first;
    uint32_t count;
    hn::Vec<hn::Repartition<int8_t, D8>> below[TableSteps::kMostSteps];  // where the step starts, less 1, biased
    V8 step[TableSteps::kMostSteps];
    explicit StepTable(const TableSteps& steps) : first(hn::Set(D8(), steps.first)), count(steps.count) {
        const hn::Repartition<int8_t, D8> di8;
        for (uint32_t k = 0; k < count; k++) {
            below[k] = hn::Set(di8, static_cast<int8_t>((steps.from[k] - 1) ^ 0x80));
            step[k] = hn::Set(D8(), steps.step[k]);
        }
    }
    V8 operator()(V8 index) const {
        const D8 d8;
        const hn::Repartition<int8_t, D8> di8;
        // Indices with the top bit flipped compare unsigned as signed.
        const auto biased = hn::BitCast(di8, hn::Xor(index, hn::Set(d8, 0x80)));
        auto level = first;
        for (uint32_t k = 0; k < count; k++) {
            level = hn::Add(level, hn::IfThenElseZero(hn::RebindMask(d8, hn::Gt(biased, below[k])), step[k]));
        }
        return level;
    }
};

// Every byte of a vector of words at once: lookup maps a vector of indices
// to their levels.
template <class Lookup>
HWY_INLINE void ByteLevels(uint32_t* HWY_RESTRICT data, size_t count, ChannelMoves moves,
                           uint32_t cut_below, const Lookup& table) {
    const DW d32;
    const D8 d8;
    const auto offsets = hn::BitCast(d8, hn::Set(d32, uint32_t{moves.red_offset} << 16 |
                                                          uint32_t{moves.green_offset} << 8 |
                                                          moves.blue_offset));
    // The bytes that take their level: the moving channels'.
    const auto moved = hn::MaskFromVec(hn::BitCast(
        d8, hn::Set(d32, (moves.red ? 0xFF0000u : 0u) | (moves.green ? 0xFF00u : 0u) | (moves.blue ? 0xFFu : 0u))));
    const auto colour = hn::BitCast(d8, hn::Set(d32, kColourBits));
    const auto last_cut = hn::Set(d8, static_cast<uint8_t>(cut_below == 0 ? 0 : cut_below - 1));
    TransformWords(d32, data, count, [&](hn::Vec<DW> words) {
        const auto in = hn::BitCast(d8, words);
        auto out = hn::IfThenElse(moved, table(hn::Add(in, offsets)), in);
        if (cut_below != 0) {
            // Colour bytes at or below the last level that cuts, then words
            // with any such byte lose their alpha byte.
            const auto low = hn::And(hn::VecFromMask(d8, hn::Eq(hn::Min(out, last_cut), out)), colour);
            const auto cut = hn::VecFromMask(d32, hn::Ne(hn::BitCast(d32, low), hn::Zero(d32)));
            out = hn::AndNot(hn::BitCast(d8, hn::AndNot(hn::Set(d32, kColourBits), cut)), out);
        }
        return hn::IfThenElse(Visible(d32, words), hn::BitCast(d32, out), words);
    });
}

#endif

#if HWY_TARGET == HWY_AVX3_DL

// A 256-byte table held in four vectors.
struct ByteTable {
    __m512i part[4];
    explicit ByteTable(const uint8_t* table) {
        for (int k = 0; k < 4; k++) part[k] = _mm512_loadu_si512(table + 64 * k);
    }
    // table[index] for each of 64 bytes: bits 0 to 6 pick within a half,
    // bit 7 picks the half.
    __m512i operator()(__m512i index) const {
        const __m512i low = _mm512_permutex2var_epi8(part[0], index, part[1]);
        const __m512i high = _mm512_permutex2var_epi8(part[2], index, part[3]);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
    }
};

void ApplyChannelLevels(uint32_t* HWY_RESTRICT data, size_t count, const uint8_t* levels,
                        ChannelMoves moves, uint32_t cut_below) {
    using DW = hn::ScalableTag<uint32_t>;
    TableSteps steps;
    if (steps.read(levels, kMaxSteps)) return ByteLevels(data, count, moves, cut_below, StepTable(steps));
    const DW d32;
    const ChannelTables tables(levels, moves);
    const ByteTable red_table(tables.red), green_table(tables.green), blue_table(tables.blue);
    // Byte k of a word is blue, green, red, alpha for k = 0, 1, 2, 3.
    const __mmask64 blue_bytes = 0x1111111111111111ull, green_bytes = blue_bytes << 1,
                    red_bytes = blue_bytes << 2;
    const __m512i last_cut = _mm512_set1_epi8(static_cast<char>(cut_below == 0 ? 0 : cut_below - 1));
    TransformWords(d32, data, count, [&](hn::Vec<DW> words) {
        const __m512i in = words.raw;
        __m512i out = _mm512_mask_blend_epi8(blue_bytes, in, blue_table(in));
        out = _mm512_mask_blend_epi8(green_bytes, out, green_table(in));
        out = _mm512_mask_blend_epi8(red_bytes, out, red_table(in));
        if (cut_below != 0) {
            // Colour bytes at or below the last level that cuts, then words
            // with any such byte lose their alpha byte.
            const __mmask64 low = _mm512_cmple_epu8_mask(out, last_cut) & (blue_bytes | green_bytes | red_bytes);
            const __m512i flagged = _mm512_movm_epi8(low);
            const __mmask16 cut = _mm512_test_epi32_mask(flagged, flagged);
            out = _mm512_mask_and_epi32(out, cut, out, _mm512_set1_epi32(kColourBits));
        }
        const hn::Vec<DW> result{out};
        return hn::IfThenElse(Visible(d32, words), result, words);
    });
}

#else

// Each channel gathered from a table of words.
void GatherChannelLevels(uint32_t* HWY_RESTRICT data, size_t count, const uint8_t* levels,
                        ChannelMoves moves, uint32_t cut_below) {
    const D32 d32;
    const DI di;
    const ChannelTables tables(levels, moves);
    // Word tables with each level already in its channel's bits.
    uint32_t red_bits[256], green_bits[256], blue_bits[256];
    for (uint32_t c = 0; c < 256; c++) {
        red_bits[c] = uint32_t{tables.red[c]} << 16;
        green_bits[c] = uint32_t{tables.green[c]} << 8;
        blue_bits[c] = tables.blue[c];
    }
    const auto byte = hn::Set(d32, 255u);
    const auto below = hn::Set(di, static_cast<int32_t>(cut_below));
    TransformWords(d32, data, count, [&](V32 words) {
        const auto r = hn::GatherIndex(d32, red_bits, hn::BitCast(di, hn::And(hn::ShiftRight<16>(words), byte)));
        const auto g = hn::GatherIndex(d32, green_bits, hn::BitCast(di, hn::And(hn::ShiftRight<8>(words), byte)));
        const auto b = hn::GatherIndex(d32, blue_bits, hn::BitCast(di, hn::And(words, byte)));
        auto alpha = AlphaOf(words);
        if (cut_below != 0) {
            const auto level_below = [&](V32 level) { return hn::Lt(hn::BitCast(di, level), below); };
            const auto cut = hn::Or(hn::Or(level_below(hn::ShiftRight<16>(r)), level_below(hn::ShiftRight<8>(g))),
                                    level_below(b));
            alpha = hn::IfThenZeroElse(hn::RebindMask(d32, cut), alpha);
        }
        return hn::IfThenElse(Visible(d32, words), hn::Or(hn::Or(alpha, r), hn::Or(g, b)), words);
    });
}

#if RURUREV_BYTE_LOOKUPS

void ApplyChannelLevels(uint32_t* HWY_RESTRICT data, size_t count, const uint8_t* levels,
                        ChannelMoves moves, uint32_t cut_below) {
    TableSteps steps;
    if (steps.read(levels, kMaxSteps)) return ByteLevels(data, count, moves, cut_below, StepTable(steps));
#if HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_WASM
    GatherChannelLevels(data, count, levels, moves, cut_below);
#else
    ByteLevels(data, count, moves, cut_below, SixteenthTable(levels));
#endif
}

#else

void ApplyChannelLevels(uint32_t* HWY_RESTRICT data, size_t count, const uint8_t* levels,
                        ChannelMoves moves, uint32_t cut_below) {
    GatherChannelLevels(data, count, levels, moves, cut_below);
}

#endif
#endif

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev::simd {

HWY_EXPORT(ApplyChannelLevels);

void apply_channel_levels(uint32_t* data, uint32_t count, const uint8_t* levels,
                          ChannelMoves moves, uint32_t cut_below) {
    RURUREV_DISPATCH(ApplyChannelLevels)(data, count, levels, moves, cut_below);
}

}  // namespace rururev::simd
#endif  // HWY_ONCE
