// The RGB curve, fast: each mode's per-pixel work folded into per-call
// tables indexed by two channels at once, so a pixel costs two lookups.
#include <cmath>
#include <vector>

#include "curve/curve.h"
#include "pixel.h"
#include "simd/dispatch.h"
#include "simd/fast.h"

namespace rururev::fast {

namespace {

// The final level of every level 0 to 255 in a channel the mode moves, as
// the kernel computes it: the scaled displacement rounded down, saturated,
// added, clamped.
void moved_levels(const double* pointy, int32_t t2, int32_t sh, uint8_t* moved,
                  int32_t* shift) {
    const double coef = curve_coef(255, t2, sh);
    for (int v = 0; v < 256; v++) {
        shift[v] = trunc_to_int(std::floor(pointy[v] * coef));
        moved[v] = static_cast<uint8_t>(clamp255(int64_t{v} + shift[v]));
    }
}

// Colour modes 0 to 6. green_blue maps the low 16 bits (green, blue) to
// their new values; red_bits maps red to its new bits 16 to 23.
void move_colours(uint32_t* data, uint32_t count, const uint8_t* moved, int32_t mode) {
    static constexpr bool moves_red[] = {true, true, false, false, true, true, false};
    static constexpr bool moves_green[] = {true, false, true, false, true, false, true};
    static constexpr bool moves_blue[] = {true, false, false, true, false, true, true};
    std::vector<uint16_t> green_blue(65536);
    uint32_t red_bits[256];
    for (uint32_t v = 0; v < 256; v++) {
        red_bits[v] = uint32_t{moves_red[mode] ? moved[v] : static_cast<uint8_t>(v)} << 16;
    }
    for (uint32_t g = 0; g < 256; g++) {
        const uint32_t new_g = moves_green[mode] ? moved[g] : g;
        for (uint32_t b = 0; b < 256; b++) {
            const uint32_t new_b = moves_blue[mode] ? moved[b] : b;
            green_blue[g << 8 | b] = static_cast<uint16_t>(new_g << 8 | new_b);
        }
    }
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t w = data[i];
        const uint32_t moved_word =
            (w & 0xFF000000u) | red_bits[red_of(w)] | green_blue[w & 0xFFFFu];
        data[i] = alpha_of(w) == 0 ? w : moved_word;
    }
}

// Alpha modes 7 to 13: new_alpha maps (level, alpha) to the new alpha.
void move_alpha(uint32_t* data, uint32_t count, const int32_t* shift, int32_t mode) {
    std::vector<uint8_t> new_alpha(65536);
    for (uint32_t level = 0; level < 256; level++) {
        for (uint32_t a = 0; a < 256; a++) {
            new_alpha[level << 8 | a] = static_cast<uint8_t>(clamp255(int64_t{a} + shift[level]));
        }
    }
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t w = data[i];
        const uint32_t r = red_of(w), g = green_of(w), b = blue_of(w);
        uint32_t level;
        switch (mode) {
            case 7: level = (r + g + b) / 3; break;
            case 8: level = r; break;
            case 9: level = g; break;
            case 10: level = b; break;
            case 11: level = (r + g) / 2; break;
            case 12: level = (r + b) / 2; break;
            default: level = (g + b) / 2; break;
        }
        data[i] = uint32_t{new_alpha[level << 8 | alpha_of(w)]} << 24 | (w & 0x00FFFFFFu);
    }
}

}  // namespace

void tovoInterRGB(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh) {
    if (plain_requested()) return kernel::tovoInterRGB(data, count, pointy, t2, t3, sh);
    if (t3 < 0 || t3 > 13) return;  // no channel moves
    uint8_t moved[256];
    int32_t shift[256];
    moved_levels(pointy, t2, sh, moved, shift);
    if (t3 <= 6) {
        move_colours(data, count, moved, t3);
    } else {
        move_alpha(data, count, shift, t3);
    }
}

}  // namespace rururev::fast
