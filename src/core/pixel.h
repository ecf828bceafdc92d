// Pixel words and the small conversions every filter shares.
//
// A pixel word is one unsigned 32-bit value: alpha in bits 24 to 31, red in
// 16 to 23, green in 8 to 15 and blue in 0 to 7 (straight, not premultiplied
// alpha). Buffers are rows of such words with no padding between rows.
#pragma once

#include <cmath>
#include <cstdint>

namespace rururev {

// A word's alpha byte, and its colour: red, green and blue.
constexpr uint32_t kAlphaBits = 0xFF000000;
constexpr uint32_t kColourBits = 0x00FFFFFF;

// The weights of red, green and blue in a grey level, each set written
// once. Which form a filter uses decides its roundings: the single-precision
// grey weights widened to double are not the double ones.
template <class T>
struct GreyWeights {
    T red, green, blue;
};
constexpr GreyWeights<double> kGreyDouble{0.298912, 0.586611, 0.114478};
constexpr GreyWeights<float> kGreyFloat{0.298912f, 0.586611f, 0.114478f};
// The luma of YCbCr and of the gamma filter.
constexpr GreyWeights<double> kLuma{0.299, 0.587, 0.114};

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

// The double-precision HSV pair. Hue in whole degrees 0 to 359, saturation
// and value 0 to 255, all held as doubles. RGB2HSV takes channels 0 to 255
// and always writes all three outputs. HSV2RGB accepts any hue, saturation
// and value: a hue of 360 or more wraps, a negative hue whose sector
// floor(H / 60) is not a multiple of 6 (and a NaN or infinite hue) selects no
// sector, and then R, G and B are left as they were. Outputs are not clamped
// and may leave 0 to 255 when S or V do; they saturate to the int range.
void RGB2HSV(int r, int g, int b, double* H, double* S, double* V);
void HSV2RGB(double H, double S, double V, int* R, int* G, int* B);

// The 8-bit HSV pair: integer hue, saturation and value with single-precision
// cmax, cmin and f. The forward conversion accepts channels outside 0 to 255
// (one filter shifts them first); for 0 to 255 it gives hh 0 to 359 and
// ss, vv 0 to 255.
struct Hsv8 {
    int32_t hh;
    int32_t ss;
    int32_t vv;
    float cmax;
    float cmin;
};
Hsv8 hsv8_forward(int64_t r, int64_t g, int64_t b);

// Back conversion from a hue of any size and ss, vv in 0 to 255. Returns
// false, writing nothing, when the hue's sector is negative.
bool hsv8_back(int64_t hh, int32_t ss, int32_t vv, int32_t* r, int32_t* g, int32_t* b);

// Truncates, or rounds half away from zero, into the int range: NaN reads
// as 0 and values beyond the range saturate, so no conversion is undefined.
inline int32_t trunc_to_int(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(x);
}

// std::floor and std::round (halves away from zero) to the bit, signed
// zeros, infinities and NaN included, inline: some C runtimes (mingw-w64's)
// make them slow library calls on the x87 unit. Below 2^52 in magnitude a
// conversion to int64_t truncates exactly and x minus its truncation is
// exact; from 2^52 on every double is already whole.
inline double exact_floor(double x) {
    if (!(std::fabs(x) < 4503599627370496.0)) return x;
    const double t = std::copysign(static_cast<double>(static_cast<int64_t>(x)), x);
    return t > x ? t - 1 : t;
}
inline double exact_round(double x) {
    if (!(std::fabs(x) < 4503599627370496.0)) return x;
    const double t = std::copysign(static_cast<double>(static_cast<int64_t>(x)), x);
    return std::fabs(x - t) >= 0.5 ? t + std::copysign(1.0, x) : t;
}

inline int32_t round_to_int(double x) { return trunc_to_int(exact_round(x)); }

// (int)fmod(sector, 6) for a whole, finite sector of a hue, its sign kept
// (fmod is exact): the library call only outside 0 to 5.
inline int sector_mod6(double sector) {
    return static_cast<int>(sector >= 0 && sector < 6 ? sector : std::fmod(sector, 6.0));
}

}  // namespace rururev
