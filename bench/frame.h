// A photo-like test frame made by code, so every run times the same pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

constexpr uint32_t kFrameWidth = 1920;
constexpr uint32_t kFrameHeight = 1080;

// Smooth gradients across the hue wheel, a vignette, sensor-like noise,
// hard-edged shapes (a grey card, dark and bright patches, saturated discs)
// and about 10% transparent pixels, some of them scattered, some in a band.
std::vector<uint32_t> natural_frame(uint32_t w, uint32_t h);

}  // namespace bench
