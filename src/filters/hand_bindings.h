// The Lua functions written by hand, registered beside the bindings made
// from the rows of filter_list.inc (functiontable in module.cpp): the
// filters that read module state besides their arguments, and the functions
// that take no pixel buffer.
#pragma once

#include <lua.hpp>

namespace rururev {

int tovoFrameCBA(lua_State* L);  // the frame store (region/region_lua.cpp)
int tovoInterRGB(lua_State* L);  // the curve table (curve/curve_lua.cpp)
int tovoInterHSV(lua_State* L);

#define RURUREV_LUA_ONLY(name) int name(lua_State* L);
#include "filters/filter_list.inc"

}  // namespace rururev
