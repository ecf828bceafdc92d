// Per-channel level tables. With AVX-512 VBMI, a 256-byte table is four
// vectors and one two-table byte permute per half looks up 64 channels at
// once; elsewhere each channel is gathered from a table of words.
#include "core/pixel.h"
#include "simd/channel_tables.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "simd/channel_tables_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

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

void ApplyChannelTables(uint32_t* HWY_RESTRICT data, size_t count, const uint8_t* red,
                        const uint8_t* green, const uint8_t* blue, uint32_t cut_below) {
    using DW = hn::ScalableTag<uint32_t>;
    const DW d32;
    const ByteTable red_table(red), green_table(green), blue_table(blue);
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

void ApplyChannelTables(uint32_t* HWY_RESTRICT data, size_t count, const uint8_t* red,
                        const uint8_t* green, const uint8_t* blue, uint32_t cut_below) {
    const D32 d32;
    const DI di;
    // Word tables with each level already in its channel's bits.
    uint32_t red_bits[256], green_bits[256], blue_bits[256];
    for (uint32_t c = 0; c < 256; c++) {
        red_bits[c] = uint32_t{red[c]} << 16;
        green_bits[c] = uint32_t{green[c]} << 8;
        blue_bits[c] = blue[c];
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

#endif

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev::simd {

HWY_EXPORT(ApplyChannelTables);

void apply_channel_tables(uint32_t* data, uint32_t count, const uint8_t* red,
                          const uint8_t* green, const uint8_t* blue, uint32_t cut_below) {
    HWY_DYNAMIC_DISPATCH(ApplyChannelTables)(data, count, red, green, blue, cut_below);
}

}  // namespace rururev::simd
#endif  // HWY_ONCE
