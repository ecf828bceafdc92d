// The few Lua API calls whose form differs between Lua 5.1 (and LuaJIT) and
// Lua 5.2 to 5.4, so that the modules are written once for all of them. The
// 5.1 build compiles to exactly the calls it always made.
#pragma once

#include <cstdint>
#include <cstdio>

#include <lua.hpp>

namespace rururev {

// Leaves on the stack the table `name` holding the functions, as 5.1's
// luaL_register does: the table already in package.loaded, else the global
// table `name` (made when there is none, an error when it is not a table),
// which package.loaded then holds too. Scripts of the 5.1 host rely on the
// global.
inline void open_library(lua_State* L, const char* name, const luaL_Reg* functions) {
#if LUA_VERSION_NUM == 501
    luaL_register(L, name, functions);
#else
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_LOADED");
    lua_getfield(L, -1, name);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_pushglobaltable(L);
        lua_pushstring(L, name);
        lua_rawget(L, -2);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            lua_newtable(L);
            lua_pushstring(L, name);
            lua_pushvalue(L, -2);
            lua_settable(L, -4);
        } else if (!lua_istable(L, -1)) {
            luaL_error(L, "name conflict for module '%s'", name);
        }
        lua_remove(L, -2);  // the global table
        lua_pushvalue(L, -1);
        lua_setfield(L, -3, name);
    }
    lua_remove(L, -2);  // package.loaded
    luaL_setfuncs(L, functions, 0);
#endif
}

// True, with its exact value, when the value at idx is an integer (a subtype
// of number since Lua 5.3). Integers beyond 2^53 have no exact double, so
// words read from them take the integer's own low bits.
inline bool integer_at(lua_State* L, int idx, int64_t* value) {
#if LUA_VERSION_NUM >= 503
    if (!lua_isinteger(L, idx)) return false;
    *value = lua_tointeger(L, idx);
    return true;
#else
    (void)L, (void)idx, (void)value;
    return false;
#endif
}

// Pushes a size or a pixel word: an integer where the Lua has them, so that
// it reads back as it was written.
inline void push_uint32(lua_State* L, uint32_t n) {
#if LUA_VERSION_NUM >= 503
    lua_pushinteger(L, static_cast<lua_Integer>(n));
#else
    lua_pushnumber(L, n);
#endif
}

// A number as Lua 5.1 writes it in a message ("%.14g": 3, 2.5, 1e+300).
// lua_pushfstring's %f writes 3.0 for 3 from Lua 5.3 on, so messages pass
// this text to %s instead. Plain characters: a long jump may skip it.
struct NumberText {
    char text[32];
};

inline NumberText number_text(lua_Number n) {
    NumberText t;
    std::snprintf(t.text, sizeof t.text, "%.14g", static_cast<double>(n));
    return t;
}

}  // namespace rururev
