// The colour-key and region filters, fast: the YCbCr key, the 8-bit HSV
// selection of colour split and tracking and the grid pixels of frame change
// marking run on vectors of doubles, in the kernels' order.
#include <algorithm>
#include <cstring>

#include "core/pixel.h"
#include "filters/filter_functions.h"
#include "region/ycbcr.h"
#include "engine/dispatch.h"
#include "simd/target_call.h"

#ifndef RURUREV_REGION_FAST_TYPES
#define RURUREV_REGION_FAST_TYPES
namespace rururev::simd {
// The reference's 8-bit hue, saturation and value, the tolerances and the
// saturation shift, all whole numbers below 2^33 and so exact as doubles.
struct Window {
    double h1, s1, v1, t0, t1, t2, t3;
};
}  // namespace rururev::simd
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "region/region_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/hsv-inl.h"
#include "simd/hsv_whole-inl.h"
#include "simd/words-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

HWY_INLINE hn::Mask<D> Within(VD value, double low, double high) {
    const D d;
    return hn::And(hn::Le(hn::Set(d, low), value), hn::Le(value, hn::Set(d, high)));
}

// Bounds are the reference component less and plus the tolerance, formed as
// the kernel forms them. A pixel outside any window loses its alpha; one
// inside keeps its word, since Y, Cb and Cr rebuild every colour exactly (the
// identity proof over all colours checks this). Transparent pixels have no
// alpha to lose.
void YCbCrKeyWords(uint32_t* HWY_RESTRICT data, size_t count, const double* low,
                   const double* high) {
    const D d;
    const D32 d32;
    const auto k = [&](double v) { return hn::Set(d, v); };
    TransformWords(d32, data, count, [&](V32 words) {
        const ChannelsV<D> c = ChannelsOf(d, d32, words);
        const auto y = hn::Add(hn::Add(hn::Mul(k(kLuma.red), c.r), hn::Mul(k(kLuma.green), c.g)),
                               hn::Mul(k(kLuma.blue), c.b));
        const auto cb = hn::Add(hn::Sub(hn::Mul(k(-0.168736), c.r), hn::Mul(k(0.331264), c.g)),
                                hn::Mul(k(0.5), c.b));
        const auto cr = hn::Sub(hn::Sub(hn::Mul(k(0.5), c.r), hn::Mul(k(0.418688), c.g)),
                                hn::Mul(k(0.081312), c.b));
        const auto kept = hn::And(hn::And(Within(y, low[0], high[0]), Within(cb, low[1], high[1])),
                                  Within(cr, low[2], high[2]));
        return hn::IfThenElse(WordMask(kept), words, hn::And(words, hn::Set(d32, kColourBits)));
    });
}

// The selection inside the rectangle in whole 32-bit lanes: a visible pixel
// whose 8-bit hue, saturation and value each lie within their tolerance of
// the reference's takes its saturation shifted by t3 (held to -256..256)
// back through the 8-bit conversion; every other visible pixel is left out
// (grey: turns grey; else: loses its alpha).
template <bool kGrey>
HWY_INLINE void SelectInside(uint32_t* HWY_RESTRICT data, size_t count, const Window& win) {
    const WI di;
    const WU du;
    const auto set = [&](double v) { return hn::Set(di, static_cast<int32_t>(v)); };
    const auto h1 = set(win.h1), s1 = set(win.s1), v1 = set(win.v1);
    const auto t0 = set(win.t0), t1 = set(win.t1), t2 = set(win.t2);
    const auto t3 = set(win.t3 < -256 ? -256 : win.t3 > 256 ? 256 : win.t3);
    // |own - ref| <= tol; own and ref are small, so nothing overflows.
    const auto near_to = [&](VWI own, VWI ref, VWI tol) {
        const auto diff = hn::Sub(own, ref);
        return hn::And(hn::Not(hn::Gt(diff, tol)), hn::Not(hn::Gt(hn::Neg(diff), tol)));
    };
    TransformWholeWords(data, count, [&](VWU words) {
        VWU left_out;
        if (kGrey) {
            // The grey level in double precision, in the kernel's order, on
            // the lanes of the words a double vector holds at a time.
            const D d;
            const D32 d32;
            uint32_t in[HWY_MAX_BYTES / 4], grey[HWY_MAX_BYTES / 4];
            hn::StoreU(words, du, in);
            for (size_t part = 0; part < hn::Lanes(du); part += hn::Lanes(d32)) {
                const ChannelsV<D> c = ChannelsOf(d, d32, hn::LoadU(d32, in + part));
                const auto sum = hn::Add(hn::Add(hn::Mul(hn::Set(d, kGreyDouble.red), c.r), hn::Mul(hn::Set(d, kGreyDouble.green), c.g)),
                                         hn::Mul(hn::Set(d, kGreyDouble.blue), c.b));
                hn::StoreU(AsWord(hn::Trunc(sum)), d32, grey + part);
            }
            const auto ave = hn::LoadU(du, grey);
            left_out = hn::Or(hn::And(words, hn::Set(du, kAlphaBits)), hn::Mul(ave, hn::Set(du, 0x010101u)));
        } else {
            left_out = hn::And(words, hn::Set(du, kColourBits));
        }
        const auto visible = WholeVisible(words);
        const WholeHsv hsv = WholeForward<true>(words);
        const auto near = hn::And(hn::And(near_to(hsv.h, h1, t0), near_to(hsv.s, s1, t1)), near_to(hsv.v, v1, t2));
        const auto chosen = hn::And(hn::RebindMask(du, near), visible);
        const auto out = hn::IfThenElse(visible, left_out, words);
        if (hn::AllFalse(du, chosen)) return out;
        const auto s = WholeClamp255(hn::Add(hsv.s, t3));
        const auto colours = WholeBack<true>(hsv.h, s, hsv.v);
        return hn::IfThenElse(chosen, hn::Or(hn::And(words, hn::Set(du, kAlphaBits)), colours), out);
    });
}

// One run of pixels in one row: inside the rectangle or not. grey tells the
// colour split (the pixels left out turn grey) from tracking (they turn
// transparent).
void SelectWords(uint32_t* HWY_RESTRICT data, size_t count, const Window& win, bool inside,
                 bool grey) {
    const D d;
    const D32 d32;
    const auto k = [&](double v) { return hn::Set(d, v); };
    if (inside) return grey ? SelectInside<true>(data, count, win) : SelectInside<false>(data, count, win);
    TransformWords(d32, data, count, [&](V32 words) {
        const ChannelsV<D> c = ChannelsOf(d, d32, words);
        V32 left_out;
        if (grey) {
            const auto sum = hn::Add(hn::Add(hn::Mul(k(kGreyDouble.red), c.r), hn::Mul(k(kGreyDouble.green), c.g)),
                                     hn::Mul(k(kGreyDouble.blue), c.b));
            const auto ave = hn::BitCast(d32, hn::DemoteTo(DI(), hn::Trunc(sum)));
            left_out = hn::Or(hn::And(words, hn::Set(d32, kAlphaBits)),
                              hn::Mul(ave, hn::Set(d32, 0x010101u)));
        } else {
            left_out = hn::And(words, hn::Set(d32, kColourBits));
        }
        return hn::IfThenElse(Visible(d32, words), left_out, words);
    });
}

// Y, Cb and Cr of whole channels, each summed in the kernel's order.
HWY_INLINE void YCbCrOf(const ChannelsV<D>& c, VD* y, VD* cb, VD* cr) {
    const D d;
    const auto k = [&](double v) { return hn::Set(d, v); };
    *y = hn::Add(hn::Add(hn::Mul(k(kLuma.red), c.r), hn::Mul(k(kLuma.green), c.g)), hn::Mul(k(kLuma.blue), c.b));
    *cb = hn::Add(hn::Sub(hn::Mul(k(-0.168736), c.r), hn::Mul(k(0.331264), c.g)),
                  hn::Mul(k(0.5), c.b));
    *cr = hn::Sub(hn::Sub(hn::Mul(k(0.5), c.r), hn::Mul(k(0.418688), c.g)),
                  hn::Mul(k(0.081312), c.b));
}

// The grid pixels data[k * spacing], in whole vectors: each is compared
// with its stored word (an empty entry is the pixel itself) and marked.
// Returns how many grid pixels were done; the caller does the rest and then
// copies the frame into the store.
size_t MarkGridWords(uint32_t* HWY_RESTRICT data, const uint32_t* HWY_RESTRICT sdata,
                     size_t grid_pixels, uint32_t spacing, int32_t t1, int32_t t2, int32_t t3,
                     uint32_t marker, bool chk0) {
    const D d;
    const D32 d32;
    const size_t lanes = hn::Lanes(d32);
    const auto alpha_bits = hn::Set(d32, kAlphaBits);
    // Plain loads and stores through the stack beat gathers and scatters
    // on some processors, and are never slower by much.
    uint32_t grid[HWY_MAX_BYTES / sizeof(uint32_t)];
    uint32_t grid_stored[HWY_MAX_BYTES / sizeof(uint32_t)];
    size_t done = 0;
    for (; done + lanes <= grid_pixels; done += lanes) {
        uint32_t* base = data + done * spacing;
        const uint32_t* stored_base = sdata + done * spacing;
        for (size_t k = 0; k < lanes; k++) {
            grid[k] = base[k * spacing];
            grid_stored[k] = stored_base[k * spacing];
        }
        const auto words = hn::LoadU(d32, grid);
        auto stored = hn::LoadU(d32, grid_stored);
        stored = hn::IfThenElse(hn::Eq(stored, hn::Zero(d32)), words, stored);
        VD y, cb, cr, was_y, was_cb, was_cr;
        YCbCrOf(ChannelsOf(d, d32, words), &y, &cb, &cr);
        YCbCrOf(ChannelsOf(d, d32, stored), &was_y, &was_cb, &was_cr);
        const auto window = [&](VD now, VD was, int32_t t) {
            const auto rounded = RoundHalfAway(d, was);
            return hn::And(hn::Le(hn::Sub(now, hn::Set(d, t)), rounded),
                           hn::Lt(rounded, hn::Add(now, hn::Set(d, t))));
        };
        const auto unchanged = WordMask(hn::And(hn::And(window(y, was_y, t1), window(cb, was_cb, t2)),
                                                window(cr, was_cr, t3)));
        const auto alpha = hn::And(words, alpha_bits);
        const auto kept = chk0 ? hn::Or(alpha, hn::Set(d32, 0x0000FFFFu)) : words;
        const auto out = hn::IfThenElse(unchanged, kept, hn::Or(alpha, hn::Set(d32, marker)));
        hn::StoreU(out, d32, grid);
        for (size_t k = 0; k < lanes; k++) base[k * spacing] = grid[k];
    }
    return done;
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev {
namespace simd {
HWY_EXPORT(YCbCrKeyWords);
HWY_EXPORT(SelectWords);
HWY_EXPORT(MarkGridWords);
}  // namespace simd

namespace fast {

void tovoYCbCr(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc) {
    if (plain_requested()) return kernel::tovoYCbCr(data, count, t0, t1, t2, oc);
    const YCbCr ref = ycbcr_of(red_of(oc), green_of(oc), blue_of(oc));
    const double low[3] = {ref.y - t0, ref.cb - t1, ref.cr - t2};
    const double high[3] = {ref.y + t0, ref.cb + t1, ref.cr + t2};
    RURUREV_DISPATCH(YCbCrKeyWords)(data, count, low, high);
}

namespace {

// Row by row: the part of a row inside the rectangle runs the selection,
// the parts outside only the fate of the pixels left out. Rows are w words
// until w x h words (modulo 2^32, as the kernel counts) are done.
void select(bool grey, uint32_t* data, uint32_t w, uint32_t h, int32_t t0,
            int32_t t1, int32_t t2, int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1,
            uint32_t y0, uint32_t y1) {
    const uint32_t count = w * h;
    const Hsv8 ref = hsv8_forward(red_of(oc), green_of(oc), blue_of(oc));
    const simd::Window win = {double(ref.hh), double(ref.ss), double(ref.vv), double(t0),
                              double(t1),     double(t2),     double(t3)};
#if !RURUREV_ONE_TARGET
    // The target is chosen before the pointer is taken: taken before the
    // first dispatch, it is the chooser, which probes the processor again on
    // every call, that is on every row.
    hwy::ChosenTarget& chosen = hwy::GetChosenTarget();
    if (!chosen.IsInitialized()) chosen.Update(hwy::SupportedTargets());
#endif
    const auto select_words = RURUREV_DISPATCH(SelectWords);
    const auto run = [&](uint32_t* words, uint64_t n, bool inside, bool grey_out) {
        select_words(words, n, win, inside, grey_out);
    };
    uint32_t yy = 0;
    for (uint64_t start = 0; start < count; start += w, yy++) {
        const uint64_t len = std::min<uint64_t>(w, count - start);
        uint32_t* row = data + start;
        const bool row_inside = y0 <= yy && yy <= y1 && x0 <= x1 && x0 < len;
        if (!row_inside) {
            run(row, len, false, grey);
            continue;
        }
        const uint64_t end = std::min<uint64_t>(uint64_t{x1} + 1, len);  // past the last inside
        run(row, x0, false, grey);
        run(row + x0, end - x0, true, grey);
        run(row + end, len - end, false, grey);
    }
}

}  // namespace

void tovoCSplt(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
               int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
    if (plain_requested()) {
        return kernel::tovoCSplt(data, w, h, t0, t1, t2, t3, oc, x0, x1, y0, y1);
    }
    select(true, data, w, h, t0, t1, t2, t3, oc, x0, x1, y0, y1);
}

void tovoCTracking(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
                   int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
    if (plain_requested()) {
        return kernel::tovoCTracking(data, w, h, t0, t1, t2, t3, oc, x0, x1, y0, y1);
    }
    select(false, data, w, h, t0, t1, t2, t3, oc, x0, x1, y0, y1);
}

void tovoFrameCBA(uint32_t* data, uint32_t count, uint32_t* sdata, int32_t t1, int32_t t2,
                  int32_t t3, int32_t nn, uint32_t oc, bool chk0) {
    if (plain_requested()) return kernel::tovoFrameCBA(data, count, sdata, t1, t2, t3, nn, oc, chk0);
    // Only grid pixels can change, each from its own stored word: whole
    // vectors of them are gathered and marked, the kernel marks the rest one
    // at a time (alone, a pixel is on the grid), and then the store takes the
    // whole frame, as it would have word by word.
    const uint32_t spacing = static_cast<uint32_t>(nn);
    if (spacing != 0) {
        const uint64_t grid_pixels = (uint64_t{count} + spacing - 1) / spacing;
        const uint64_t done = RURUREV_DISPATCH(MarkGridWords)(
            data, sdata, grid_pixels, spacing, t1, t2, t3, oc & kColourBits, chk0);
        for (uint64_t i = done * spacing; i < count; i += spacing) {
            kernel::tovoFrameCBA(data + i, 1, sdata + i, t1, t2, t3, nn, oc, chk0);
        }
    }
    if (count > 0) std::memcpy(sdata, data, size_t{count} * sizeof(uint32_t));
}

}  // namespace fast
}  // namespace rururev
#endif  // HWY_ONCE
