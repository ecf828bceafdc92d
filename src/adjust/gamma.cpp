// Gamma: the luma alone goes through a power curve; the colour differences
// are kept, so the pixel keeps its colour.
#include <cmath>

#include "filters/filter_functions.h"
#include "core/pixel.h"
#include "adjust/single_power.h"

namespace rururev::kernel {

// A rebuilt channel: the sum is stored in single precision, rounded half
// away from zero and clamped to 0..255. For every float that can round into
// 0..255, x + 0.5 is exact in double, so its floor is the rounded value (the
// same as roundf then the clamp, over all 2^32 floats). NaN and infinities
// are settled before any conversion to an integer: NaN gives 0, an infinity
// the end of its sign.
static uint32_t channel_of(double sum) {
    const double shifted = static_cast<double>(static_cast<float>(sum)) + 0.5;
    if (std::isnan(shifted) || shifted < 1) return 0;  // rounds to 0 or below
    if (shifted >= 256) return 255;                     // rounds to 256 or above
    return static_cast<uint32_t>(shifted);
}

// The new word of one pixel; the filter is a function of the word alone.
static uint32_t gamma_pixel(uint32_t word, float t0, int32_t t1, int32_t t2, int32_t t3) {
    // Offsets are not clamped, and summed wide.
    const double R = static_cast<double>(int64_t{red_of(word)} + t1);
    const double G = static_cast<double>(int64_t{green_of(word)} + t2);
    const double B = static_cast<double>(int64_t{blue_of(word)} + t3);
    float y = static_cast<float>(kLuma.red * R + kLuma.green * G + kLuma.blue * B);
    const float u = static_cast<float>(-0.169 * R - 0.3316 * G + 0.5 * B);
    const float v = static_cast<float>(0.5 * R - 0.4186 * G - 0.0813 * B);
    // The power of a single-precision base: a negative base gives a
    // positive, a negative or a NaN power, an exponent of 0 gives 1.
    const float base = static_cast<float>(y / 255.0);
    y = static_cast<float>(single_power(base, t0) * 255.0);
    return pack(alpha_of(word), channel_of(y + 1.402 * v), channel_of(y - 0.344 * u - 0.714 * v),
                channel_of(y + 1.772 * u));
}

void tovoGanma(uint32_t* data, uint32_t count, float t0, int32_t t1, int32_t t2, int32_t t3) {
    // Every pixel, transparent ones included. A run of equal words (a flat
    // area) costs one power: the last result is reused.
    uint32_t last_in = 0, last_out = 0;
    bool have_last = false;
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (!have_last || word != last_in) {
            last_in = word;
            last_out = gamma_pixel(word, t0, t1, t2, t3);
            have_last = true;
        }
        data[i] = last_out;
    }
}

}  // namespace rururev::kernel
