// Kernels of the colour adjustment filters: each rewrites count pixel words
// in place and changes each pixel from its own channels alone.
#pragma once

#include <cstdint>

namespace rururev::kernel {

// Adds t0..t3 to red, green, blue and alpha of every pixel, transparent ones
// included, and clamps each channel into 0 to 255.
void tovoRGB(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3);

// As tovoRGB, but pixels with alpha 0 are left exactly as they are.
void tovoRGB2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3);

}  // namespace rururev::kernel
