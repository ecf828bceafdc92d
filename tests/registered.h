// The module's function table, for tests that cover every registered
// function, those merged later included.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include <lua.hpp>

namespace rururev {
extern const luaL_Reg functiontable[];
}

// The functions that take no pixel buffer (the LUA_ONLY rows of
// filter_list.inc); every other one is a filter.
inline bool takes_no_buffer(const char* name) {
    static const char* const others[] = {
#define RURUREV_LUA_ONLY(name) #name,
#include "filters/filter_list.inc"
    };
    for (const char* other : others) {
        if (std::strcmp(name, other) == 0) return true;
    }
    return false;
}

inline std::vector<std::string> registered_names() {
    std::vector<std::string> names;
    for (const luaL_Reg* f = rururev::functiontable; f->name != nullptr; f++) names.push_back(f->name);
    return names;
}

inline std::vector<std::string> filter_names() {
    std::vector<std::string> names;
    for (const std::string& name : registered_names()) {
        if (!takes_no_buffer(name.c_str())) names.push_back(name);
    }
    return names;
}
