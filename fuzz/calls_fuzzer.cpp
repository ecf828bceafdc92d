// Drives every function of the module's function table through a real Lua
// 5.1 state: a sequence of calls, each to a function picked by the input,
// with a random count of hostile arguments, a random width and height and a
// buffer of exactly w x h words between guard words. Module state (curve
// points, the frame store) carries from call to call within one input.
//
// After every call: the sanitizers have said nothing, the stack holds exactly
// the results the function returned (and they are the right ones for its
// convention), the caller's stack below the call is intact, the guard words
// are untouched, and a call that raised an error or had no pixel to touch
// left the buffer as it was. Any breach aborts with a description.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>
#include <lua.hpp>

#include "call_check.h"
#include "guarded_buffer.h"
#include "hostile_values.h"
#include "module/module_state.h"

extern "C" int luaopen_librururev(lua_State* L);

namespace rururev {
extern const luaL_Reg functiontable[];
}

namespace {

using namespace fuzz;

constexpr int kMaxCallsPerInput = 24;
constexpr int kMaxArgs = 16;

// Where a call is made from: the main state's own stack, a coroutine, or a
// stack filled nearly to the limit a C function may use.
enum class Context { Main, Coroutine, DeepStack };
constexpr int kDeepFill = LUAI_MAXCSTACK - 2 * kMaxArgs - 16;

int function_count() {
    int n = 0;
    while (rururev::functiontable[n].name != nullptr) n++;
    return n;
}

[[noreturn]] void fail(lua_State* L, const Finished& call, const std::string& what) {
    fprintf(stderr, "\n*** %s\n*** in %s\n", what.c_str(), describe_call(L, call).c_str());
    abort();
}

lua_State* new_state_with_module() {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_getglobal(L, "require");
    lua_pushstring(L, "librururev");
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "preload");
    lua_pushcfunction(L, luaopen_librururev);
    lua_setfield(L, -2, "librururev");
    lua_pop(L, 2);
    if (lua_pcall(L, 1, 0, 0) != 0) {
        fprintf(stderr, "require failed: %s\n", lua_tostring(L, -1));
        abort();
    }
    return L;
}

// Argument 1: mostly the buffer; otherwise something that is not one.
// Returns whether it addresses the buffer.
bool push_first_argument(lua_State* L, FuzzedDataProvider& in, GuardedBuffer& buffer) {
    switch (in.ConsumeIntegralInRange<int>(0, 15)) {
        case 0: lua_pushnil(L); return false;
        case 1: lua_pushnumber(L, 1); return false;
        case 2: lua_pushstring(L, "buffer"); return false;
        case 3: lua_pushboolean(L, 1); return false;
        case 4: lua_newtable(L); return false;
        case 5: lua_pushlightuserdata(L, nullptr); return false;
        case 6:
            // An address no filter may touch when there is no pixel.
            if (buffer.count() > 0) break;
            lua_pushlightuserdata(L, reinterpret_cast<void*>(uintptr_t{16}));
            return false;
        default: break;
    }
    lua_pushlightuserdata(L, buffer.words());
    return true;
}

// Moves the call (probe and arguments copied from `args`) into the thread
// `co` and resumes it; the results, or the error message, come back onto L.
int resume_in_coroutine(lua_State* L, lua_State* co, int args, int nargs) {
    lua_checkstack(co, nargs + 1);
    lua_pushcfunction(co, probe);
    for (int i = 0; i < nargs; i++) {
        lua_pushvalue(L, args + i);
        lua_xmove(L, co, 1);
    }
    const int status = lua_resume(co, nargs);
    const int moved = status == 0 ? lua_gettop(co) : 1;
    lua_checkstack(L, moved);
    lua_xmove(co, L, moved);
    return status;
}

void run_one_call(lua_State* L, FuzzedDataProvider& in, int functions) {
    const luaL_Reg& fn = rururev::functiontable[in.ConsumeIntegralInRange<int>(0, functions - 1)];
    const Context context = in.PickValueInArray({Context::Main, Context::Main, Context::Main,
                                                 Context::Coroutine, Context::DeepStack});
    const int nargs = in.ConsumeIntegralInRange<int>(0, kMaxArgs);
    Geometry geometry = pick_geometry(in);
    if (nargs < 3) geometry.h = 0;
    if (nargs < 2) geometry.w = 0;
    const uint32_t count = geometry.w * geometry.h;
    GuardedBuffer buffer(count, in.ConsumeIntegral<uint64_t>(), in.ConsumeIntegral<uint8_t>());

    const int outer = lua_gettop(L);
    if (context == Context::DeepStack) {
        lua_checkstack(L, kDeepFill);
        for (int i = 0; i < kDeepFill; i++) lua_pushinteger(L, i);
    }
    lua_checkstack(L, 2 * kMaxArgs + 8);
    // A coroutine's thread stays referenced below the call until it is done.
    lua_State* co = context == Context::Coroutine ? lua_newthread(L) : nullptr;
    lua_newtable(L);  // a sentinel just below the call
    const int sentinel = lua_gettop(L);
    const void* sentinel_table = lua_topointer(L, sentinel);

    // The arguments, kept below the call to compare results with.
    Finished call{fn.name, nargs, count, false, 0, sentinel + 1, 0};
    for (int i = 1; i <= nargs; i++) {
        if (i == 1) {
            call.buffer_given = push_first_argument(L, in, buffer);
        } else if (i == 2 || i == 3) {
            push_dimension(L, in, i == 2 ? geometry.w : geometry.h);
        } else {
            push_hostile_value(L, in);
        }
    }
    call.results = call.args + nargs;

    set_probe_target(fn.func);
    if (co != nullptr) {
        call.status = resume_in_coroutine(L, co, call.args, nargs);
    } else {
        lua_pushcfunction(L, probe);
        for (int i = 0; i < nargs; i++) lua_pushvalue(L, call.args + i);
        call.status = lua_pcall(L, nargs, LUA_MULTRET, 0);
    }

    if (lua_topointer(L, sentinel) != sentinel_table) fail(L, call, "the caller's stack changed");
    const std::string fault = check_call(L, call);
    if (!fault.empty()) fail(L, call, fault);
    if (!buffer.guards_intact()) fail(L, call, "a guard word around the buffer changed");
    const bool may_write = kind_of(fn.name) == Kind::Filter && call.status == 0 && count > 0;
    if (!may_write && !buffer.unchanged()) fail(L, call, "the buffer changed");
    lua_settop(L, outer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int functions = function_count();
    FuzzedDataProvider in(data, size);
    // The module's state outlives Lua states; starting each input from the
    // state at load lets a saved input replay on its own.
    rururev::reset_module_state();
    lua_State* L = new_state_with_module();
    for (int n = 0; n < kMaxCallsPerInput && in.remaining_bytes() > 0; n++) {
        run_one_call(L, in, functions);
    }
    lua_close(L);
    return 0;
}
