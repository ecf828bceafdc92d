#include "lua/args.h"

#include "lua/convert.h"
#include "lua/lua_api.h"

namespace rururev {

// Kept apart so that luaL_argerror's long jump leaves no C++ object behind.
static void raise_no_buffer(lua_State* L) {
    lua_pushfstring(L, "pixel buffer expected, got %s", luaL_typename(L, 1));
    luaL_argerror(L, 1, lua_tostring(L, -1));
}

Pixels get_pixels(lua_State* L) {
    void* data = lua_touserdata(L, 1);
    const uint32_t w = arg_dword(L, 2);
    const uint32_t h = arg_dword(L, 3);
    const uint32_t count = w * h;  // wraps modulo 2^32, as callers expect
    if (count > 0 && data == nullptr) raise_no_buffer(L);
    return {static_cast<uint32_t*>(data), count, w, h};
}

int32_t arg_int(lua_State* L, int idx) { return to_int(lua_tonumber(L, idx)); }

// An integer keeps its exact low bits; anything else goes through its double,
// as every number does in Lua 5.1. Both agree up to 2^53. An INT needs no
// such care: beyond 2^53 it saturates either way.
uint32_t arg_dword(lua_State* L, int idx) {
    int64_t i;
    if (integer_at(L, idx, &i)) return static_cast<uint32_t>(static_cast<uint64_t>(i));
    return to_dword(lua_tonumber(L, idx));
}

uint8_t arg_byte(lua_State* L, int idx) {
    int64_t i;
    if (integer_at(L, idx, &i)) return static_cast<uint8_t>(static_cast<uint64_t>(i));
    return to_byte(lua_tonumber(L, idx));
}

float arg_float(lua_State* L, int idx) { return to_float(lua_tonumber(L, idx)); }
double arg_double(lua_State* L, int idx) { return lua_tonumber(L, idx); }
bool arg_bool(lua_State* L, int idx) { return lua_toboolean(L, idx) != 0; }

}  // namespace rururev
