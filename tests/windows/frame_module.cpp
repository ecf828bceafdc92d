// rururev_frame: the benchmark's photo-like frame as a Lua module, so that a
// native build and a Windows build of librururev can be compared through
// their own interpreters on the same pixels.
//   frame.new(w, h)       a userdata of w * h words holding the frame
//   frame.copy(dst, src)  copies src's words over dst's (the same size)
//   frame.set(f, i, word) sets the word at index i (from 0)
//   frame.digest(f)       FNV-1a over the words, as 16 hex digits
//   frame.now()           seconds on a monotonic clock
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include <lua.hpp>

#include "frame.h"

#ifdef _WIN32
#define FRAME_EXPORT extern "C" __declspec(dllexport)
#else
#define FRAME_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

int frame_new(lua_State* L) {
    const auto w = static_cast<uint32_t>(luaL_checkinteger(L, 1));
    const auto h = static_cast<uint32_t>(luaL_checkinteger(L, 2));
    const std::vector<uint32_t> words = bench::natural_frame(w, h);
    void* block = lua_newuserdata(L, words.size() * sizeof(uint32_t));
    std::memcpy(block, words.data(), words.size() * sizeof(uint32_t));
    return 1;
}

int frame_copy(lua_State* L) {
    luaL_checktype(L, 1, LUA_TUSERDATA);
    luaL_checktype(L, 2, LUA_TUSERDATA);
    const size_t n = lua_objlen(L, 1);
    luaL_argcheck(L, lua_objlen(L, 2) == n, 2, "not the size of the first frame");
    std::memcpy(lua_touserdata(L, 1), lua_touserdata(L, 2), n);
    return 0;
}

int frame_set(lua_State* L) {
    luaL_checktype(L, 1, LUA_TUSERDATA);
    const lua_Number i = luaL_checknumber(L, 2), word = luaL_checknumber(L, 3);
    luaL_argcheck(L, i >= 0 && i < lua_objlen(L, 1) / sizeof(uint32_t), 2, "outside the frame");
    luaL_argcheck(L, word >= 0 && word <= 4294967295.0, 3, "not a 32-bit word");
    static_cast<uint32_t*>(lua_touserdata(L, 1))[static_cast<size_t>(i)] = static_cast<uint32_t>(word);
    return 0;
}

int frame_digest(lua_State* L) {
    luaL_checktype(L, 1, LUA_TUSERDATA);
    const auto* bytes = static_cast<const unsigned char*>(lua_touserdata(L, 1));
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0, n = lua_objlen(L, 1); i < n; i++) h = (h ^ bytes[i]) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%08lx%08lx", static_cast<unsigned long>(h >> 32),
                  static_cast<unsigned long>(h & 0xFFFFFFFFu));
    lua_pushstring(L, text);
    return 1;
}

int frame_now(lua_State* L) {
    const auto t = std::chrono::steady_clock::now().time_since_epoch();
    lua_pushnumber(L, std::chrono::duration<double>(t).count());
    return 1;
}

const luaL_Reg functions[] = {
    {"new", frame_new}, {"copy", frame_copy}, {"set", frame_set}, {"digest", frame_digest}, {"now", frame_now},
    {nullptr, nullptr},
};

}  // namespace

FRAME_EXPORT int luaopen_rururev_frame(lua_State* L) {
    luaL_register(L, "rururev_frame", functions);
    return 1;
}
