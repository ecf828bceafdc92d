// The curve table and the filters that move levels through it.
//
// A curve is one displacement per position 0 to 360. Scripts fill it one
// point at a time; the filters look a pixel's own level (a channel, an
// average of channels, a hue in degrees, a saturation or a value) up in it
// and add the scaled displacement. There is no interpolation between points.
#pragma once

#include <cstdint>

#include "filters/filter_functions.h"

namespace rururev {

constexpr int32_t curve_points = 361;

// The one curve of the process, shared by every Lua state that loads the
// module: zero at load and never reset. pointy holds each point's y negated,
// so that a positive y lowers the level at its position. pointx keeps the x
// given with the point; no filter reads it.
extern double pointx[curve_points];
extern double pointy[curve_points];

// The scale of a curve call: the whole-number ratio range / (sh / 2), both
// divisions truncated toward zero, times the strength t2 in percent. An sh
// of -1, 0 or 1 has no half to divide by; its ratio is 0, so nothing moves.
inline double curve_coef(int32_t range, int32_t t2, int32_t sh) {
    const int32_t half = sh / 2;
    const int32_t ratio = half == 0 ? 0 : range / half;
    return static_cast<double>(ratio) * (static_cast<double>(t2) / 100.0);
}

}  // namespace rururev

namespace rururev::kernel {

// Stores the point (x, y) at the 1-based position idx: pointx[idx - 1] = x,
// pointy[idx - 1] = -y. Returns false, writing nothing, when idx is outside
// 1 to 361.
bool tovoInterRGBset(double x, double y, int32_t idx);

}  // namespace rururev::kernel
