// The RGB curve: colour channels or alpha moved by the curve's displacement
// at a level taken from the pixel's own channels.
#include <cmath>

#include "curve/curve.h"
#include "core/pixel.h"

namespace rururev::kernel {

namespace {

// The channels that the colour modes 0 to 6 move.
struct ColourMode {
    bool red, green, blue;
};
constexpr ColourMode colour_modes[] = {
    {true, true, true},  {true, false, false}, {false, true, false}, {false, false, true},
    {true, true, false}, {true, false, true},  {false, true, true},
};
constexpr int32_t colour_mode_count = 7;
constexpr int32_t first_alpha_mode = 7, last_alpha_mode = 13;

// The whole-level shift of every level 0 to 255: the scaled displacement
// rounded down. One that lies beyond the int range (an enormous or infinite
// y) saturates, and one that is not a number (NaN, or infinity times 0)
// moves nothing.
void level_shifts(const double* pointy, double coef, int32_t* shift) {
    for (int v = 0; v < 256; v++) shift[v] = trunc_to_int(exact_floor(pointy[v] * coef));
}

// Colour modes: each moved channel goes through one table of final levels,
// the others through the identity. Transparent pixels stay as they are.
void move_colours(uint32_t* data, uint32_t count, const int32_t* shift, ColourMode mode) {
    uint8_t moved[256], same[256];
    for (int v = 0; v < 256; v++) {
        moved[v] = static_cast<uint8_t>(clamp255(int64_t{v} + shift[v]));
        same[v] = static_cast<uint8_t>(v);
    }
    const uint8_t* red = mode.red ? moved : same;
    const uint8_t* green = mode.green ? moved : same;
    const uint8_t* blue = mode.blue ? moved : same;
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t w = data[i];
        if (alpha_of(w) == 0) continue;
        data[i] = pack(alpha_of(w), red[red_of(w)], green[green_of(w)], blue[blue_of(w)]);
    }
}

// The level whose displacement moves alpha in the alpha modes; averages are
// truncated, so the level is always a whole 0 to 255.
uint32_t alpha_position(int32_t mode, uint32_t r, uint32_t g, uint32_t b) {
    switch (mode) {
        case 7: return (r + g + b) / 3;
        case 8: return r;
        case 9: return g;
        case 10: return b;
        case 11: return (r + g) / 2;
        case 12: return (r + b) / 2;
        default: return (g + b) / 2;
    }
}

// Alpha modes: every pixel, transparent ones included, can gain or lose
// alpha; the colour channels never change.
void move_alpha(uint32_t* data, uint32_t count, const int32_t* shift, int32_t mode) {
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t w = data[i];
        const uint32_t r = red_of(w), g = green_of(w), b = blue_of(w);
        const int32_t s = shift[alpha_position(mode, r, g, b)];
        data[i] = pack(clamp255(int64_t{alpha_of(w)} + s), r, g, b);
    }
}

}  // namespace

void tovoInterRGB(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh) {
    const bool colours = t3 >= 0 && t3 < colour_mode_count;
    const bool alpha = t3 >= first_alpha_mode && t3 <= last_alpha_mode;
    if (!colours && !alpha) return;  // no channel moves: every word stays
    int32_t shift[256];
    level_shifts(pointy, curve_coef(255, t2, sh), shift);
    if (colours) {
        move_colours(data, count, shift, colour_modes[t3]);
    } else {
        move_alpha(data, count, shift, t3);
    }
}

}  // namespace rururev::kernel
