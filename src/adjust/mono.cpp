// Monochrome: a weighted grey of the offset channels, written to all three.
#include "filters/filter_functions.h"
#include "core/pixel.h"

namespace rururev::kernel {

// Held in single precision the three weights sum to a little above 1, so a
// grey input keeps its level exactly after truncation.
static const float red_weight = kGreyFloat.red;
static const float green_weight = kGreyFloat.green;
static const float blue_weight = kGreyFloat.blue;

void tovoMono(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              bool t4) {
    // Weight changes come in 255ths; the division is a floating-point one.
    const int32_t denomi = 255;
    const double wr = t4 ? t0 / double{denomi} + red_weight : red_weight;
    const double wg = t4 ? t1 / double{denomi} + green_weight : green_weight;
    const double wb = t4 ? t2 / double{denomi} + blue_weight : blue_weight;
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (alpha_of(word) == 0) continue;
        // Offset channels are neither clamped nor allowed to overflow.
        const int64_t r = int64_t{t3} + red_of(word);
        const int64_t g = int64_t{t3} + green_of(word);
        const int64_t b = int64_t{t3} + blue_of(word);
        float mono = static_cast<float>(wr * r + wg * g + wb * b);
        if (mono < 0) mono = 0;
        if (mono > 255) mono = 255;
        const uint32_t level = static_cast<uint32_t>(mono);  // truncated, not rounded
        data[i] = pack(alpha_of(word), level, level, level);
    }
}

}  // namespace rururev::kernel
