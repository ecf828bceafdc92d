// Operands of the back conversions' double steps for whole components,
// built at compile time exactly as the conversions compute them at run
// time: the vectors settle the rare levels that are exactly a half with
// these instead of repeating the divisions.
#pragma once

#include <array>
#include <cstdint>

namespace rururev::simd {

// s = S / 255 for S 0 to 255.
constexpr std::array<double, 256> saturation_fractions() {
    std::array<double, 256> s{};
    for (int k = 0; k < 256; k++) s[k] = k / 255.0;
    return s;
}

// For each whole hue H below `hues`: f in odd sectors (where the level is
// q), 1 - f in even ones (t). HSV2RGB holds f = H / 60 - sector in double;
// the 8-bit conversion (eight) rounds H / 60 and then f to single precision.
// H / 60 never rounds up to a whole number here, so sector = H / 60 whole.
template <int kHues>
constexpr std::array<double, kHues> hue_fractions(bool eight) {
    std::array<double, kHues> g{};
    for (int h = 0; h < kHues; h++) {
        const double quotient = h / 60.0;
        const double sector = h / 60;
        const double f = eight ? static_cast<float>(static_cast<float>(quotient) - sector) : quotient - sector;
        g[h] = (h / 60) % 2 == 1 ? f : 1 - f;
    }
    return g;
}

// The whole levels 0 to 255 as doubles.
constexpr std::array<double, 256> whole_levels() {
    std::array<double, 256> v{};
    for (int k = 0; k < 256; k++) v[k] = k;
    return v;
}

inline constexpr std::array<double, 256> kSaturationFractions = saturation_fractions();
inline constexpr std::array<double, 256> kWholeLevels = whole_levels();
inline constexpr std::array<double, 720> kHueFractions = hue_fractions<720>(false);
inline constexpr std::array<double, 720> kHueFractions8 = hue_fractions<720>(true);

}  // namespace rururev::simd
