// Gamma: the luma alone goes through a power curve; the colour differences
// are kept, so the pixel keeps its colour.
#include <cmath>

#include "adjust/tone_filters.h"
#include "pixel.h"

namespace rururev::kernel {

// A rebuilt channel, already rounded, into 0..255. NaN and infinities are
// settled here, before any conversion to an integer: NaN gives 0 and an
// infinity the end of its sign.
static uint32_t channel_of(float level) {
    if (std::isnan(level) || level < 0) return 0;
    if (level > 255) return 255;
    return static_cast<uint32_t>(level);
}

// Each sum is evaluated in double precision, stored in single precision,
// then rounded half away from zero.
static float rebuilt(double sum) { return std::round(static_cast<float>(sum)); }

void tovoGanma(uint32_t* data, uint32_t count, float t0, int32_t t1, int32_t t2, int32_t t3) {
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        // Every pixel, transparent ones included; offsets are not clamped.
        const double R = static_cast<double>(int64_t{red_of(word)} + t1);
        const double G = static_cast<double>(int64_t{green_of(word)} + t2);
        const double B = static_cast<double>(int64_t{blue_of(word)} + t3);
        float y = static_cast<float>(0.299 * R + 0.587 * G + 0.114 * B);
        const float u = static_cast<float>(-0.169 * R - 0.3316 * G + 0.5 * B);
        const float v = static_cast<float>(0.5 * R - 0.4186 * G - 0.0813 * B);
        // Single-precision power of a single-precision base: a negative base
        // gives a positive, a negative or a NaN power, an exponent of 0 gives 1.
        const float base = static_cast<float>(y / 255.0);
        y = static_cast<float>(std::pow(base, t0) * 255.0);
        const uint32_t r = channel_of(rebuilt(y + 1.402 * v));
        const uint32_t g = channel_of(rebuilt(y - 0.344 * u - 0.714 * v));
        const uint32_t b = channel_of(rebuilt(y + 1.772 * u));
        data[i] = pack(alpha_of(word), r, g, b);
    }
}

}  // namespace rururev::kernel
