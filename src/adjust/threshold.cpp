// Two-level threshold: each channel against the pixel's own grey level.
#include <cmath>

#include "filters/filter_functions.h"
#include "core/pixel.h"

namespace rururev::kernel {

// Adds an offset to an 8-bit channel; the sum wraps modulo 256.
static uint32_t wrap_add(uint32_t channel, int32_t offset) {
    return (channel + static_cast<uint32_t>(offset)) & 255u;
}

// The grey level less t3, computed wide and reduced modulo 256, so that any
// t3 gives a threshold of 0 to 255 (-10 gives 246).
static uint32_t threshold_of(uint32_t r, uint32_t g, uint32_t b, int32_t t3, bool mean) {
    int64_t difference;
    if (mean) {
        difference = int64_t{(r + g + b) / 3} - t3;
    } else {
        // At most 255 + 2^31 in size: floor's result fits an int64_t.
        difference = static_cast<int64_t>(exact_floor(kGreyDouble.red * r + kGreyDouble.green * g + kGreyDouble.blue * b - t3));
    }
    return static_cast<uint32_t>(static_cast<uint64_t>(difference) & 255u);
}

void tovo2Pns(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint8_t t4, int32_t t5, int32_t t6) {
    const uint32_t above = clamp255(t5);
    const uint32_t at_or_below = clamp255(t6);
    const bool mean = t4 == 1;
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (alpha_of(word) == 0) continue;
        const uint32_t r = wrap_add(red_of(word), t0);
        const uint32_t g = wrap_add(green_of(word), t1);
        const uint32_t b = wrap_add(blue_of(word), t2);
        const uint32_t cave = threshold_of(r, g, b, t3, mean);
        data[i] = pack(alpha_of(word), r > cave ? above : at_or_below,
                       g > cave ? above : at_or_below, b > cave ? above : at_or_below);
    }
}

}  // namespace rururev::kernel
