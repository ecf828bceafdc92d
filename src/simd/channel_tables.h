// One level table applied to the channels of whole buffers, for the filters
// whose new red, green and blue each depend on the old channel alone, all
// through the same table after an offset of their own.
#pragma once

#include <cstdint>

namespace rururev::simd {

// Which channels a call moves, and the offset each adds (modulo 256) before
// its lookup.
struct ChannelMoves {
    bool red, green, blue;
    uint8_t red_offset, green_offset, blue_offset;
};

// Gives every visible pixel (alpha above 0) the red levels[(r + red_offset)
// & 255], and the same for green and blue, where moves says that channel
// moves; the others stay, as transparent pixels do. A pixel whose new red,
// green or blue lies below cut_below (0 to 256) loses its alpha.
void apply_channel_levels(uint32_t* data, uint32_t count, const uint8_t* levels,
                          ChannelMoves moves, uint32_t cut_below);

}  // namespace rururev::simd
