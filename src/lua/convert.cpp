#include "lua/convert.h"

#include <cfloat>
#include <cmath>

#include "core/pixel.h"

namespace rururev {

int32_t to_int(double d) { return trunc_to_int(d); }

int64_t to_int64(double d) {
    if (std::isnan(d)) return 0;
    // 2^63 is the first double beyond the range; -2^63 is the last inside it.
    if (d >= 9223372036854775808.0) return INT64_MAX;
    if (d <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(d);
}

uint32_t to_dword(double d) {
    return static_cast<uint32_t>(static_cast<uint64_t>(to_int64(d)));
}

uint8_t to_byte(double d) {
    return static_cast<uint8_t>(static_cast<uint64_t>(to_int64(d)));
}

float to_float(double d) {
    if (std::isnan(d) || std::fabs(d) <= FLT_MAX) return static_cast<float>(d);
    // Beyond FLT_MAX: round to nearest, ties to even. FLT_MAX has an odd
    // significand, so the halfway point FLT_MAX + 2^103 already rounds up.
    const double halfway = 0x1.ffffffp127;
    const float big = std::fabs(d) >= halfway ? HUGE_VALF : FLT_MAX;
    return d < 0 ? -big : big;
}

}  // namespace rururev
