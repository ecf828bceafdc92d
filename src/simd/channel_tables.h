// Per-channel level tables applied to whole buffers, for the filters whose
// new red, green and blue each depend on the old channel alone.
#pragma once

#include <cstdint>

namespace rururev::simd {

// Gives every visible pixel (alpha above 0) the red red[r], green green[g]
// and blue blue[b]; transparent pixels stay as they are. A pixel whose new
// red, green or blue lies below cut_below (0 to 256) loses its alpha.
void apply_channel_tables(uint32_t* data, uint32_t count, const uint8_t* red,
                          const uint8_t* green, const uint8_t* blue, uint32_t cut_below);

}  // namespace rururev::simd
