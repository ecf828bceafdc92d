// The Lua-callable functions of the module, one for each row of
// filter_list.inc, each defined beside the kernels of its family (the
// *_lua.cpp files, and utility_lua.cpp) and registered by functiontable in
// module.cpp.
#pragma once

#include <lua.hpp>

namespace rururev {

#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) \
    int name(lua_State* L);
#define RURUREV_KERNEL_ONLY(name, kinds, params, about, sample) int name(lua_State* L);
#define RURUREV_LUA_ONLY(name) int name(lua_State* L);
#include "filters/filter_list.inc"

}  // namespace rururev
