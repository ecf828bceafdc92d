// The calling convention shared by every filter:
//
//   static int tovoSomething(lua_State* L) {
//       const Pixels px = get_pixels(L);       // argument 1, w and h
//       const int32_t t0 = arg_int(L, 4);      // parameters, ascending
//       ...
//       return run_filter(L, [&] { parallel::tovoSomething(px.data, px.count, t0, ...); });
//   }
//
// All arguments are read before any pixel is touched; run_filter then cuts
// the stack to the buffer, runs the filter's threaded fast path over w x h
// words and returns the buffer as the one result.
#pragma once

#include <cstdint>

#include <lua.hpp>

namespace rururev {

struct Pixels {
    uint32_t* data;  // the caller's buffer, null when there is none
    uint32_t count;  // w x h, an unsigned 32-bit product
};

// Reads the buffer (argument 1), w and h. When w x h is above 0 and argument 1
// is not a userdata, raises "pixel buffer expected" through luaL_argerror.
Pixels get_pixels(lua_State* L);

// Parameter readers, one per receiving type. A missing or non-numeric
// argument reads as 0 (or false).
int32_t arg_int(lua_State* L, int idx);
uint32_t arg_dword(lua_State* L, int idx);
uint8_t arg_byte(lua_State* L, int idx);
float arg_float(lua_State* L, int idx);
double arg_double(lua_State* L, int idx);
bool arg_bool(lua_State* L, int idx);

// Cuts the stack to argument 1, runs the kernel and returns the buffer.
template <class Kernel>
int run_filter(lua_State* L, Kernel&& kernel) {
    lua_settop(L, 1);
    kernel();
    return 1;
}

}  // namespace rururev
