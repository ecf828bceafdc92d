// The double-precision HSV round trip of whole components, in 32-bit lanes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rururev::simd {

// Which component a table moves: the hue, the saturation, the value, none.
enum class Moved { hue, saturation, value, none };

// Rebuilds every visible pixel through RGB2HSV and HSV2RGB with one
// component x replaced by moved[x]: moved hues must be whole and below
// whole_hue_limit, moved levels whole and 0 to 255 (the caller checks, and
// takes another path otherwise). `moved` has 360 entries for the hue and
// 256 for a level; it is only read.
void whole_moved(uint32_t* data, size_t count, const int32_t* moved, Moved which);
constexpr int32_t whole_hue_limit = 720;

}  // namespace rururev::simd
