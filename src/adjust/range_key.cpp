// Grey-level range key: visible pixels outside a band of grey levels become
// transparent; the fill mode also paints every visible pixel one colour.
#include <cmath>

#include "filters/filter_functions.h"
#include "core/pixel.h"

namespace rururev::kernel {

// The luma, rounded half away from zero, or the truncated plain mean.
static int64_t grey_of(uint32_t word, bool mean) {
    const uint32_t r = red_of(word), g = green_of(word), b = blue_of(word);
    if (mean) return (r + g + b) / 3;
    return static_cast<int64_t>(exact_round(kLuma.red * r + kLuma.green * g + kLuma.blue * b));
}

void tovoRngPut(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc,
                uint8_t chk) {
    const uint32_t fill = oc & kColourBits;  // the alpha byte of oc is not used
    const int64_t low = t0;
    const int64_t high = int64_t{t0} + t1;   // summed wide: no overflow
    const bool mean = chk != 0;
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (alpha_of(word) == 0) continue;
        const int64_t gray = grey_of(word, mean);
        const uint32_t alpha = word & kAlphaBits;
        if (t2 == 0) {
            // Fill: both ends of the band included.
            const bool in_band = low <= gray && gray <= high;
            data[i] = (in_band ? alpha : 0) | fill;
        } else {
            // Cut: the upper end excluded; a pixel in the band is not touched.
            const bool in_band = low <= gray && gray < high;
            if (!in_band) data[i] = word & kColourBits;
        }
    }
}

}  // namespace rururev::kernel
