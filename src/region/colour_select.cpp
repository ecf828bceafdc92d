// Colour split and colour tracking: one selection of pixels by 8-bit hue,
// saturation, value and a rectangle; the two filters differ only in what
// becomes of the pixels left out.
#include "core/pixel.h"
#include "filters/filter_functions.h"

namespace rururev::kernel {

namespace {

// The reference colour in 8-bit HSV, the tolerances and the rectangle. Hues
// are compared at full width, 0 to 359, and every window is summed in 64 bits
// so that no tolerance can overflow.
struct Selection {
    int64_t h1, s1, v1;
    int64_t t0, t1, t2;
    uint32_t x0, x1, y0, y1;

    bool inside(uint32_t xx, uint32_t yy) const {
        return x0 <= xx && xx <= x1 && y0 <= yy && yy <= y1;
    }

    // Each window is centred on the pixel's own component and holds the
    // reference's when the two lie within the tolerance. No wrap at 0/360.
    // Combined with & rather than && to spare mispredicted branches.
    bool near(const Hsv8& px) const {
        return (px.hh - t0 <= h1) & (h1 <= px.hh + t0) &
               (px.ss - t1 <= s1) & (s1 <= px.ss + t1) &
               (px.vv - t2 <= v1) & (v1 <= px.vv + t2);
    }
};

Selection make_selection(int32_t t0, int32_t t1, int32_t t2, uint32_t oc, uint32_t x0,
                         uint32_t x1, uint32_t y0, uint32_t y1) {
    const Hsv8 ref = hsv8_forward(red_of(oc), green_of(oc), blue_of(oc));
    return {ref.hh, ref.ss, ref.vv, t0, t1, t2, x0, x1, y0, y1};
}

// A selected pixel: saturation shifted by t3 and clamped, then back through
// the 8-bit conversion with the pixel's own hue. Alpha is kept.
uint32_t shift_saturation(uint32_t word, const Hsv8& hsv, int32_t t3) {
    const int32_t ss = static_cast<int32_t>(clamp255(int64_t{hsv.ss} + t3));
    int32_t r = 0, g = 0, b = 0;
    hsv8_back(hsv.hh, ss, hsv.vv, &r, &g, &b);  // hh is 0 to 359: always a sector
    return pack(alpha_of(word), static_cast<uint32_t>(r), static_cast<uint32_t>(g),
                static_cast<uint32_t>(b));
}

// Walks the buffer in index order, tracking column and row by counting
// rather than dividing. Transparent pixels are skipped; a visible pixel is
// either selected and shifted or handed to `left_out`, which returns its new
// word.
template <class LeftOut>
void walk(uint32_t* data, uint32_t w, uint32_t h, const Selection& sel, int32_t t3,
          LeftOut left_out) {
    const uint32_t count = w * h;
    uint32_t xx = 0, yy = 0;
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (alpha_of(word) != 0) {
            if (sel.inside(xx, yy)) {
                const Hsv8 hsv = hsv8_forward(red_of(word), green_of(word), blue_of(word));
                data[i] = sel.near(hsv) ? shift_saturation(word, hsv, t3) : left_out(word);
            } else {
                data[i] = left_out(word);
            }
        }
        if (++xx == w) {
            xx = 0;
            yy++;
        }
    }
}

// The grey level of a pixel: weighted channels summed in double precision and
// truncated. The weights add up to just over 1, so the level stays in 0 to 255.
uint32_t grey(uint32_t word) {
    const double sum = kGreyDouble.red * red_of(word) + kGreyDouble.green * green_of(word) +
                       kGreyDouble.blue * blue_of(word);
    const uint32_t ave = static_cast<uint32_t>(sum);
    return pack(alpha_of(word), ave, ave, ave);
}

uint32_t transparent(uint32_t word) { return word & kColourBits; }

}  // namespace

void tovoCSplt(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
               int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
    walk(data, w, h, make_selection(t0, t1, t2, oc, x0, x1, y0, y1), t3, grey);
}

void tovoCTracking(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
                   int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
    walk(data, w, h, make_selection(t0, t1, t2, oc, x0, x1, y0, y1), t3, transparent);
}

}  // namespace rururev::kernel
