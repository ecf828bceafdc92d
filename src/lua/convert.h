// Conversions of Lua numbers to the integer and float types that filters
// receive. Each is total: NaN, infinities and numbers beyond the receiving
// type never reach a C++ conversion with undefined behaviour.
#pragma once

#include <cstdint>

namespace rururev {

// Truncates toward zero into the signed 32-bit range; NaN reads as 0 and
// numbers beyond the range saturate (used for INT parameters).
int32_t to_int(double d);

// Truncates toward zero into the signed 64-bit range, with the same rules.
int64_t to_int64(double d);

// Truncates toward zero through a signed 64-bit integer and keeps the low
// 32 bits, so 0 to 2^32 - 1 arrive intact and -1 arrives as 0xFFFFFFFF
// (used for w, h, colour words and rectangle bounds).
uint32_t to_dword(double d);

// As to_dword, keeping only the low 8 bits.
uint8_t to_byte(double d);

// Rounds to single precision as IEEE arithmetic does: numbers too large for
// a float become an infinity of their sign, NaN stays NaN.
float to_float(double d);

}  // namespace rururev
