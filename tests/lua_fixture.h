// A real Lua 5.1 state with the module required the way a host does it, and
// helpers to run script snippets against buffers owned by the test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <lua.hpp>

extern "C" int luaopen_librururev(lua_State* L);

// Offers the module linked into the test program to require in L.
void preload_linked_module(lua_State* L);

// A new Lua state with the standard libraries and the module required, as a
// host opens one.
lua_State* open_module_state();

// Runs a chunk in L and returns its error message, or "" when it succeeded.
std::string run_chunk(lua_State* L, const std::string& code);

// Makes `name` a global light userdata pointing at the words.
void set_buffer(lua_State* L, uint32_t* words, const char* name = "buf");

// Runs a chunk in L with `name` pointing at the words; its error message, or
// "" when it succeeded.
std::string run_on_buffer(lua_State* L, uint32_t* words, const std::string& code,
                          const char* name = "buf");

// Calls librururev.FILTER(buf, w, h, ARGS) on the words through L; its error
// message, or "" when it succeeded.
std::string call_filter(lua_State* L, const std::string& filter, std::vector<uint32_t>& words,
                        uint32_t w, uint32_t h, const std::string& args);

class LuaTest : public ::testing::Test {
protected:
    lua_State* L = nullptr;

    void SetUp() override;
    void TearDown() override;

    // Makes `buf` a global light userdata pointing at the words.
    void set_buffer(std::vector<uint32_t>& words, const char* name = "buf");

    // Runs a chunk and returns its error message, or "" when it succeeded.
    std::string try_run(const std::string& code);

    // Runs a chunk; a Lua error fails the test with its message.
    void run(const std::string& code);

    // Evaluates one Lua expression to a number.
    double eval_number(const std::string& expr);
};
