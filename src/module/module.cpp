// The module's entry point and its table of functions.
#include "module/functions.h"
#include "module/lua_api.h"
#include "simd/threads.h"

#if defined(_WIN32)
#define RURUREV_EXPORT extern "C" __declspec(dllexport)
#else
#define RURUREV_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace rururev {

// Registration order is part of the interface: scripts and tests may walk it.
extern const luaL_Reg functiontable[] = {
    {"daytime", daytime},
    {"tovoNum", tovoNum},
    {"tovoRGB", tovoRGB},
    {"tovoRGB2", tovoRGB2},
    {"tovoHSV", tovoHSV},
    {"tovoHSV2", tovoHSV2},
    {"tovoNega", tovoNega},
    {"tovoMono", tovoMono},
    {"tovo2Pns", tovo2Pns},
    {"tovoAlp0", tovoAlp0},
    {"tovoYCbCr", tovoYCbCr},
    {"tovoCSplt", tovoCSplt},
    {"tovoCTracking", tovoCTracking},
    {"tovoNStage", tovoNStage},
    {"tovoNStage2", tovoNStage2},
    {"tovoGanma", tovoGanma},
    {"tovoFrameCBA", tovoFrameCBA},
    {"tovoInterRGB", tovoInterRGB},
    {"tovoInterRGBset", tovoInterRGBset},
    {"tovoInterHSV", tovoInterHSV},
    {"tovoHighShadow", tovoHighShadow},
    {"tovoHighShadowDoder", tovoHighShadowDoder},
    {"tovoRngPut", tovoRngPut},
    {nullptr, nullptr},
};

namespace {

constexpr const char* kWorkersKey = "librururev.workers";

int release_workers(lua_State*) {
    threads::release_workers();
    return 0;
}

// The state holds the workers that split its frames until it closes: a
// value in its registry whose finalizer lets them go. Lua runs finalizers
// in the reverse order of their values' making, so this one runs before
// that of the loaded library, which unloads it.
void hold_workers(lua_State* L) {
    lua_getfield(L, LUA_REGISTRYINDEX, kWorkersKey);
    const bool held = !lua_isnil(L, -1);
    lua_pop(L, 1);
    if (held) return;
    lua_newuserdata(L, 1);
    lua_createtable(L, 0, 1);
    lua_pushcfunction(L, release_workers);
    lua_setfield(L, -2, "__gc");
    lua_setmetatable(L, -2);
    lua_setfield(L, LUA_REGISTRYINDEX, kWorkersKey);
    threads::hold_workers();  // after the last call that may raise
}

}  // namespace

}  // namespace rururev

// Called by require "librururev": registers the table under that name (the
// global librururev, or the one already loaded) and returns it.
RURUREV_EXPORT int luaopen_librururev(lua_State* L) {
    rururev::hold_workers(L);
    rururev::open_library(L, "librururev", rururev::functiontable);
    return 1;
}
