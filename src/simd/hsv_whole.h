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

// The same with each hue h (0 to 359) moved to any hue of 0 or more, given
// by its sector (0 to 5) sectors[h] and fractions[h]: f = H / 60 - sector
// in odd sectors and 1 - f in even ones, as HSV2RGB computes them for the
// moved hue H. Both tables have 360 entries and are only read.
void hue_table_moved(uint32_t* data, size_t count, const int32_t* sectors, const double* fractions);

// The same with each value V (0 to 255) moved to values[V], a whole number
// N of hundredths (0 to 25500, within 1e-6 / 100 of N / 100): packed[V] is
// N | trunc(values[V]) << 16. Both tables have 256 entries and are only read.
void hundredths_value_moved(uint32_t* data, size_t count, const int32_t* packed, const double* values);

// The same with each saturation S (0 to 255) moved to moved[S], any number
// from 0 to 255, fractions included. `moved` has 256 entries; it is only read.
void saturation_moved(uint32_t* data, size_t count, const double* moved);
constexpr int32_t saturation_steps = 256;  // steps of a whole saturation the vectors hold exactly

}  // namespace rururev::simd
