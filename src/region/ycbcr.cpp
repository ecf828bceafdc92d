// YCbCr colour key.
#include "core/pixel.h"
#include "filters/filter_functions.h"
#include "region/ycbcr.h"

namespace rururev::kernel {

// Both bounds inclusive. The tests are combined with & rather than && so that
// a pixel costs no mispredicted branch.
static bool within(double value, double centre, int32_t tolerance) {
    return (centre - tolerance <= value) & (value <= centre + tolerance);
}

// A rebuilt channel, rounded half away from zero and held to 0 to 255.
static uint32_t channel(double v) { return clamp255(round_to_int(v)); }

// Rebuilds the channels from Y, Cb and Cr. The two coefficient sets undo
// each other to well within half a unit, so every colour comes back exact.
static uint32_t rebuild(uint32_t alpha, const YCbCr& c) {
    return pack(alpha, channel(c.y + 1.402 * c.cr),
                channel(c.y - 0.344136 * c.cb - 0.714136 * c.cr),
                channel(c.y + 1.772 * c.cb));
}

void tovoYCbCr(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc) {
    const YCbCr ref = ycbcr_of(red_of(oc), green_of(oc), blue_of(oc));
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        const uint32_t a = alpha_of(word);
        if (a == 0) continue;
        const YCbCr px = ycbcr_of(red_of(word), green_of(word), blue_of(word));
        if (within(px.y, ref.y, t0) & within(px.cb, ref.cb, t1) & within(px.cr, ref.cr, t2)) {
            data[i] = rebuild(a, px);
        } else {
            data[i] = word & kColourBits;
        }
    }
}

}  // namespace rururev::kernel
