// The RGB curve, fast: the colour modes through per-channel level tables
// (simd/channel_tables.h), the alpha modes on vectors of words with the
// whole-level shift looked up per lane.
#include <cmath>

#include "curve/curve.h"
#include "core/pixel.h"
#include "simd/channel_tables.h"
#include "engine/dispatch.h"
#include "simd/target_call.h"
#include "filters/filter_functions.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "curve/curve_rgb_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Alpha modes 7 to 13: every pixel's alpha moves by shift[level] and is
// clamped, where the level is (r + g + b) / 3, r, g, b, (r + g) / 2,
// (r + b) / 2 or (g + b) / 2. shift holds whole numbers; any beyond
// -256..256 act as those ends.
void MoveAlphaWords(uint32_t* HWY_RESTRICT data, size_t count, const int32_t* HWY_RESTRICT shift,
                    int32_t mode) {
    using DW = hn::ScalableTag<uint32_t>;
    const DW dw;
    const hn::RebindToSigned<DW> di;
    const auto byte = hn::Set(dw, 255u);
    TransformWords(dw, data, count, [&](hn::Vec<DW> words) {
        const auto r = hn::And(hn::ShiftRight<16>(words), byte);
        const auto g = hn::And(hn::ShiftRight<8>(words), byte);
        const auto b = hn::And(words, byte);
        hn::Vec<DW> level;
        switch (mode) {
            case 7: level = MeanOf(r, g, b); break;
            case 8: level = r; break;
            case 9: level = g; break;
            case 10: level = b; break;
            case 11: level = hn::ShiftRight<1>(hn::Add(r, g)); break;
            case 12: level = hn::ShiftRight<1>(hn::Add(r, b)); break;
            default: level = hn::ShiftRight<1>(hn::Add(g, b)); break;
        }
        const auto moved = hn::GatherIndex(di, shift, hn::BitCast(di, level));
        const auto alpha = hn::Add(hn::BitCast(di, hn::ShiftRight<24>(words)), moved);
        const auto clamped = hn::Min(hn::Max(alpha, hn::Zero(di)), hn::Set(di, 255));
        return hn::Or(hn::ShiftLeft<24>(hn::BitCast(dw, clamped)), hn::And(words, hn::Set(dw, kColourBits)));
    });
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev {
namespace simd {
HWY_EXPORT(MoveAlphaWords);
}  // namespace simd

namespace fast {

void tovoInterRGB(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh) {
    if (plain_requested()) return kernel::tovoInterRGB(data, count, pointy, t2, t3, sh);
    if (t3 < 0 || t3 > 13) return;  // no channel moves
    // Each level's shift as the kernel computes it: the scaled displacement
    // rounded down, saturated.
    const double coef = curve_coef(255, t2, sh);
    int32_t shift[256];
    uint8_t moved[256];
    for (int v = 0; v < 256; v++) {
        shift[v] = trunc_to_int(std::floor(pointy[v] * coef));
        moved[v] = static_cast<uint8_t>(clamp255(int64_t{v} + shift[v]));
    }
    if (t3 >= 7) {
        for (int32_t& s : shift) s = s < -256 ? -256 : s > 256 ? 256 : s;
        RURUREV_DISPATCH(MoveAlphaWords)(data, count, shift, t3);
        return;
    }
    // Colour modes 0 to 6: which of red, green and blue move.
    static constexpr bool moves_red[] = {true, true, false, false, true, true, false};
    static constexpr bool moves_green[] = {true, false, true, false, true, false, true};
    static constexpr bool moves_blue[] = {true, false, false, true, false, true, true};
    const simd::ChannelMoves moves{moves_red[t3], moves_green[t3], moves_blue[t3], 0, 0, 0};
    simd::apply_channel_levels(data, count, moved, moves, 0);
}

}  // namespace fast
}  // namespace rururev
#endif  // HWY_ONCE
