// Helpers for the parts of rururev_image whose objects hold C++ state in
// Lua userdata: building and destroying them in place, and keeping C++
// exceptions and Lua errors apart (the work runs in helpers that return a
// message; the Lua error is raised once their C++ locals are gone).
#pragma once

#include <cstdio>
#include <new>
#include <string>

#include <lua.hpp>

namespace rururev::image {

inline int raise_text(lua_State* L, const char* message) {
    lua_pushstring(L, message);
    return lua_error(L);
}

// Runs work that may allocate: running out of memory becomes a message
// instead of an exception that would cross Lua's error jumps.
template <typename Work>
bool guarded(char* error, size_t size, Work work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        std::snprintf(error, size, "out of memory");
        return false;
    }
}

inline void copy_message(const std::string& text, char* error, size_t size) {
    std::snprintf(error, size, "%s", text.c_str());
}

template <typename T>
T* new_object(lua_State* L, const char* type) {
    void* memory = lua_newuserdata(L, sizeof(T));
    T* object = new (memory) T();
    luaL_getmetatable(L, type);
    lua_setmetatable(L, -2);
    return object;
}

template <typename T>
int destroy_object(lua_State* L) {
    static_cast<T*>(lua_touserdata(L, 1))->~T();
    return 0;
}

}  // namespace rururev::image
