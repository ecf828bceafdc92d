// The module's entry point and its table of functions.
#include "filters/filter_functions.h"
#include "filters/hand_bindings.h"
#include "lua/args.h"
#include "lua/lua_api.h"
#include "engine/threads.h"

#if defined(_WIN32)
#define RURUREV_EXPORT extern "C" __declspec(dllexport)
#else
#define RURUREV_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace rururev {

namespace row_kinds {
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) constexpr char name[] = kinds;
#define RURUREV_KERNEL_ONLY(name, kinds, params, about, sample) constexpr char name[] = kinds;
#include "filters/filter_list.inc"
}  // namespace row_kinds

// A buffer filter's Lua function: its row's arguments read into its threaded
// fast path (the kernel alone for a KERNEL_ONLY row), or its binding written
// by hand.
template <auto F, const char* Kinds>
constexpr lua_CFunction binding = bind_filter<F, Kinds>;
template <const char* Kinds>
constexpr lua_CFunction binding<&parallel::tovoFrameCBA, Kinds> = tovoFrameCBA;
template <const char* Kinds>
constexpr lua_CFunction binding<&parallel::tovoInterRGB, Kinds> = tovoInterRGB;
template <const char* Kinds>
constexpr lua_CFunction binding<&parallel::tovoInterHSV, Kinds> = tovoInterHSV;

// Registration order (that of filter_list.inc) is part of the interface:
// scripts and tests may walk it.
extern const luaL_Reg functiontable[] = {
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) \
    {#name, binding<&parallel::name, row_kinds::name>},
#define RURUREV_KERNEL_ONLY(name, kinds, params, about, sample) \
    {#name, binding<&kernel::name, row_kinds::name>},
#define RURUREV_LUA_ONLY(name) {#name, name},
#include "filters/filter_list.inc"
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
