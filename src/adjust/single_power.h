// tovoGanma's power of a single-precision base, as 32-bit Windows (where
// the scripts' hosts run) computes powf: in double precision, rounded once
// to single precision. C libraries differ in powf's last bit (glibc's is
// within one unit but not always the nearest float); this gives the same
// float on every platform the module is built for.
#pragma once

#include <cmath>

namespace rururev {

inline float single_power(float base, float exponent) {
    return static_cast<float>(std::pow(static_cast<double>(base), static_cast<double>(exponent)));
}

}  // namespace rururev
