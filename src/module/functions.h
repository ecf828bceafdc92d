// The Lua-callable functions of the module, each defined beside the kernels
// of its family (the *_lua.cpp files) and registered by functiontable in
// module.cpp.
#pragma once

#include <lua.hpp>

namespace rururev {

// Utilities: src/module/utility_lua.cpp
int daytime(lua_State* L);
int tovoNum(lua_State* L);

// Colour adjustments: src/adjust
int tovoRGB(lua_State* L);
int tovoRGB2(lua_State* L);
int tovoHSV(lua_State* L);
int tovoHSV2(lua_State* L);
int tovoNega(lua_State* L);
int tovoMono(lua_State* L);
int tovo2Pns(lua_State* L);
int tovoAlp0(lua_State* L);
int tovoNStage(lua_State* L);
int tovoNStage2(lua_State* L);
int tovoGanma(lua_State* L);
int tovoHighShadow(lua_State* L);
int tovoHighShadowDoder(lua_State* L);
int tovoRngPut(lua_State* L);

// Colour keys and regions: src/region
int tovoYCbCr(lua_State* L);
int tovoCSplt(lua_State* L);
int tovoCTracking(lua_State* L);
int tovoFrameCBA(lua_State* L);

// Curves: src/curve
int tovoInterRGB(lua_State* L);
int tovoInterRGBset(lua_State* L);
int tovoInterHSV(lua_State* L);

}  // namespace rururev
