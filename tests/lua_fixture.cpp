#include "lua_fixture.h"

#include <cstdlib>

void preload_linked_module(lua_State* L) {
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "preload");
    lua_pushcfunction(L, luaopen_librururev);
    lua_setfield(L, -2, "librururev");
    lua_pop(L, 2);
}

lua_State* open_module_state() {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    // Offer the module to require exactly as a host's C loader would. With
    // RURUREV_TESTS_REQUIRE_DLL set (the Windows runs), require loads
    // librururev.dll from beside the program instead, as a host does.
    if (std::getenv("RURUREV_TESTS_REQUIRE_DLL") == nullptr) preload_linked_module(L);
    EXPECT_EQ(run_chunk(L, "require 'librururev'"), "");
    return L;
}

std::string run_chunk(lua_State* L, const std::string& code) {
    const int top = lua_gettop(L);
    std::string error;
    if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
        error = lua_tostring(L, -1);
    }
    lua_settop(L, top);
    return error;
}

void LuaTest::SetUp() { L = open_module_state(); }

void LuaTest::TearDown() { lua_close(L); }

void set_buffer(lua_State* L, uint32_t* words, const char* name) {
    lua_pushlightuserdata(L, words);
    lua_setglobal(L, name);
}

std::string run_on_buffer(lua_State* L, uint32_t* words, const std::string& code, const char* name) {
    set_buffer(L, words, name);
    return run_chunk(L, code);
}

std::string call_filter(lua_State* L, const std::string& filter, std::vector<uint32_t>& words,
                        uint32_t w, uint32_t h, const std::string& args) {
    return run_on_buffer(L, words.data(), "librururev." + filter + "(buf, " + std::to_string(w) + ", " +
                                              std::to_string(h) + ", " + args + ")");
}

void LuaTest::set_buffer(std::vector<uint32_t>& words, const char* name) {
    ::set_buffer(L, words.data(), name);
}

std::string LuaTest::try_run(const std::string& code) { return run_chunk(L, code); }

void LuaTest::run(const std::string& code) {
    const std::string error = try_run(code);
    ASSERT_EQ(error, "") << "in: " << code;
}

double LuaTest::eval_number(const std::string& expr) {
    run("__result = " + expr);
    lua_getglobal(L, "__result");
    const double v = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return v;
}
