// N-stage quantisation: levels move to the ends of evenly spaced bands.
#include <cmath>

#include "filters/filter_functions.h"
#include "core/pixel.h"

namespace rururev::kernel {

namespace {

struct Bands {
    uint32_t steps;  // t0 held to 1..255: bands 0 to steps exist
    uint32_t n;      // band width, 255 / steps
};

Bands bands_for(int32_t t0) {
    const uint32_t steps = t0 <= 1 ? 1 : t0 > 254 ? 255 : static_cast<uint32_t>(t0);
    return {steps, 255 / steps};
}

// Band j holds the levels above n x j up to n x (j + 1). A level below the
// band's midpoint (rounded down) goes to the lower end, any other to the
// upper end, held at 255. 0 and levels above the last band stay.
uint32_t quantised(uint32_t c, Bands bands) {
    if (c == 0) return 0;
    const uint32_t j = (c - 1) / bands.n;
    if (j > bands.steps) return c;
    const uint32_t mid = bands.n * (2 * j + 1) / 2;
    if (mid > c) return bands.n * j;
    const uint32_t upper = bands.n * (j + 1);
    return upper > 255 ? 255 : upper;
}

uint32_t wrap_add(uint32_t channel, int32_t offset) {
    return (channel + static_cast<uint32_t>(offset)) & 255u;
}

// Both filters; cut makes a pixel whose result falls below the first level
// (to 0) fully transparent.
void nstage(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
            bool chk0, bool cut) {
    const Bands bands = bands_for(t0);
    // The band rule depends on the level alone: look it up per channel.
    uint8_t level[256];
    for (uint32_t c = 0; c < 256; c++) level[c] = static_cast<uint8_t>(quantised(c, bands));
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        uint32_t a = alpha_of(word);
        if (a == 0) continue;
        uint32_t r = wrap_add(red_of(word), t1);
        uint32_t g = wrap_add(green_of(word), t2);
        uint32_t b = wrap_add(blue_of(word), t3);
        if (chk0) {
            // Rounds to 0..255: the weights sum to 1.000001.
            const double ave = exact_round(kGreyDouble.red * r + kGreyDouble.green * g + kGreyDouble.blue * b);
            r = g = b = level[static_cast<uint32_t>(ave)];
        } else {
            r = level[r];
            g = level[g];
            b = level[b];
        }
        if (cut && (r < bands.n || g < bands.n || b < bands.n)) a = 0;
        data[i] = pack(a, r, g, b);
    }
}

}  // namespace

void tovoNStage(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                bool chk0) {
    nstage(data, count, t0, t1, t2, t3, chk0, false);
}

void tovoNStage2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                 bool chk0) {
    nstage(data, count, t0, t1, t2, t3, chk0, true);
}

}  // namespace rururev::kernel
