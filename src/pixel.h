// Pixel words and the small conversions every filter shares.
//
// A pixel word is one unsigned 32-bit value: alpha in bits 24 to 31, red in
// 16 to 23, green in 8 to 15 and blue in 0 to 7 (straight, not premultiplied
// alpha). Buffers are rows of such words with no padding between rows.
#pragma once

#include <cstdint>

namespace rururev {

inline uint32_t red_of(uint32_t word) { return (word >> 16) & 255u; }
inline uint32_t green_of(uint32_t word) { return (word >> 8) & 255u; }
inline uint32_t blue_of(uint32_t word) { return word & 255u; }
inline uint32_t alpha_of(uint32_t word) { return word >> 24; }

// Repacks four channels that already lie in 0 to 255.
inline uint32_t pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Clamps a wide integer channel into 0 to 255. Working channels are summed in
// 64 bits so that no offset, however large, can overflow before this clamp.
inline uint32_t clamp255(int64_t v) {
    if (v < 0) return 0;
    if (v > 255) return 255;
    return static_cast<uint32_t>(v);
}

}  // namespace rururev
