// Lua values a careless or hostile script may pass, chosen by fuzz input.
#pragma once

#include <cstdint>

#include <fuzzer/FuzzedDataProvider.h>
#include <lua.hpp>

namespace fuzz {

// Pushes one argument of any type: numbers at and beyond every integer limit,
// NaN, infinities, fractions and negatives; numeric and other strings;
// tables, booleans, nil and a small full userdata.
void push_hostile_value(lua_State* L, FuzzedDataProvider& in);

// The width and height of one call: the values the module reads for them
// (after truncation and the 32-bit wrap) and their product modulo 2^32,
// which never exceeds kMaxCount.
struct Geometry {
    uint32_t w;
    uint32_t h;
    uint32_t count;
};
constexpr uint32_t kMaxSide = 64;
constexpr uint32_t kMaxCount = kMaxSide * kMaxSide;

// Small sides, or sides near 2^31 and 2^32 whose product wraps to a small
// count, or a product of 0.
Geometry pick_geometry(FuzzedDataProvider& in);

// Pushes a Lua value that reads as `value` through the DWORD conversion, in
// one of several spellings (fraction, numeric string, a multiple of 2^32
// added, a hexadecimal string; for 0 also nil, false, a table or NaN).
void push_dimension(lua_State* L, FuzzedDataProvider& in, uint32_t value);

}  // namespace fuzz
