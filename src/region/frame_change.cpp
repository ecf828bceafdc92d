// Frame change marking: grid pixels compared with the previous frame.
#include <cmath>

#include "core/pixel.h"
#include "filters/filter_functions.h"
#include "region/ycbcr.h"

namespace rururev::kernel {

static double rounded(double v) { return exact_round(v); }

// The stored pixel's components, rounded to whole numbers, must lie in a
// window around the current pixel's unrounded ones: lower bound inclusive,
// upper bound exclusive, so a tolerance of 0 or below marks every pixel.
static bool unchanged(uint32_t word, uint32_t stored, int32_t t1, int32_t t2, int32_t t3) {
    const YCbCr now = ycbcr_of(red_of(word), green_of(word), blue_of(word));
    const YCbCr was = ycbcr_of(red_of(stored), green_of(stored), blue_of(stored));
    const double y1 = rounded(was.y), cb1 = rounded(was.cb), cr1 = rounded(was.cr);
    return now.y - t1 <= y1 && y1 < now.y + t1 &&
           now.cb - t2 <= cb1 && cb1 < now.cb + t2 &&
           now.cr - t3 <= cr1 && cr1 < now.cr + t3;
}

void tovoFrameCBA(uint32_t* data, uint32_t count, uint32_t* sdata, int32_t t1, int32_t t2,
                  int32_t t3, int32_t nn, uint32_t oc, bool chk0) {
    const uint32_t marker = oc & kColourBits;
    const uint32_t cyan = 0x0000FFFFu;
    // i modulo nn, kept by counting; nn of 0 puts nothing on the grid.
    const uint32_t spacing = static_cast<uint32_t>(nn);
    uint32_t phase = 0;
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        const bool on_grid = spacing != 0 && phase == 0;
        if (spacing != 0 && ++phase == spacing) phase = 0;
        // Off the grid the comparison cannot change the pixel.
        if (on_grid) {
            const uint32_t stored = sdata[i] != 0 ? sdata[i] : word;
            const uint32_t alpha = word & kAlphaBits;
            if (!unchanged(word, stored, t1, t2, t3)) {
                data[i] = alpha | marker;
            } else if (chk0) {
                data[i] = alpha | cyan;
            }
        }
        sdata[i] = data[i];
    }
}

}  // namespace rururev::kernel
