// The forward YCbCr conversion shared by the colour key and the frame change
// marker: full-range coefficients in double precision, with Cb and Cr centred
// on 0. Each component is summed as (red term + green term) + blue term and
// left unrounded.
#pragma once

#include <cstdint>

#include "core/pixel.h"

namespace rururev {

struct YCbCr {
    double y;
    double cb;
    double cr;
};

inline YCbCr ycbcr_of(uint32_t r, uint32_t g, uint32_t b) {
    const double rd = r, gd = g, bd = b;
    return {kLuma.red * rd + kLuma.green * gd + kLuma.blue * bd,
            -0.168736 * rd - 0.331264 * gd + 0.5 * bd,
            0.5 * rd - 0.418688 * gd - 0.081312 * bd};
}

}  // namespace rururev
