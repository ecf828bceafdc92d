// The filters that work on a pixel's hue, saturation and value (declared
// in filter_functions.h) and the kernel the highlight and shadow filters
// share. Each leaves pixels with alpha 0 exactly as they are.
#pragma once

#include <cstdint>

#include "filters/filter_functions.h"

namespace rururev::kernel {

// The HSV component that the highlight and shadow filters remap.
enum class Component { value, saturation };

// Maps the component x of every visible pixel linearly so that 255 lands on
// t0 and 0 on t1, adds t2, scales by t3 percent and bounds the result below
// by cmin, then above by cmax. Hue and the other component are kept.
void highlight_shadow(uint32_t* data, uint32_t count, Component x, int32_t t0, int32_t t1,
                      int32_t t2, int32_t t3, int32_t cmax, int32_t cmin);

}  // namespace rururev::kernel
