// A photo-like test frame made by code, so every run times the same pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// 1920 x 1080, or the size RURUREV_BENCH_FRAME gives as WxH (64x64, say).
uint32_t frame_width();
uint32_t frame_height();

// Smooth gradients across the hue wheel, a vignette, sensor-like noise,
// hard-edged shapes (a grey card, dark and bright patches, saturated discs)
// and about 10% transparent pixels, some of them scattered, some in a band.
std::vector<uint32_t> natural_frame(uint32_t w, uint32_t h);

}  // namespace bench
