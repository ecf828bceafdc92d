// The Lua-callable functions of the module, each defined beside the kernels
// of its family and registered by functiontable in module.cpp.
#pragma once

#include <lua.hpp>

namespace rururev {

// Utilities (src/module/utility_lua.cpp)
int daytime(lua_State* L);
int tovoNum(lua_State* L);

// Colour adjustments (src/adjust)
int tovoRGB(lua_State* L);
int tovoRGB2(lua_State* L);

}  // namespace rururev
