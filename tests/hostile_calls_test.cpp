// Every registered function called the ways a script or host may call it:
// under pcall, inside coroutines, on a nearly full stack, with arguments of
// every type and size, and with no buffer at all.
#include "lua_fixture.h"
#include "module/module_state.h"
#include "registered.h"

namespace {

const uint32_t kGuard = 0x5EC0DE5Eu;

// A 3 x 2 image, with a guard word after it that no call may touch.
const std::vector<uint32_t> kImage = {0xFF204080, 0x00FF8000, 0x80808080,
                                      0xFFFFFFFF, 0x01000000, 0x7F0A141E, kGuard};

// Parameters after buf, 3, 2: enough of them, of every kind, for any filter.
const std::string kParams = "10, -20, 30, 2, 4278255360, 1, 2, 0, 1, true";

std::string with_name(std::string code, const std::string& name) {
    for (size_t at; (at = code.find("NAME")) != std::string::npos;) code.replace(at, 4, name);
    return code;
}

class HostileCalls : public LuaTest {
protected:
    void SetUp() override {
        LuaTest::SetUp();
        run("function count(...) return select('#', ...), ... end");
    }

    void TearDown() override {
        reset_state();
        LuaTest::TearDown();
    }

    // Every call starts from the module state at load.
    void reset_state() { rururev::reset_module_state(); }

    // Runs `code` with a fresh copy of kImage as `buf` and returns the words.
    std::vector<uint32_t> words_after(const std::string& code) {
        reset_state();
        std::vector<uint32_t> px = kImage;
        set_buffer(px);
        run(code);
        EXPECT_EQ(px.back(), kGuard) << code;
        return px;
    }

    // Pushes the values of a Lua expression list.
    int push_values(const std::string& list) {
        const int top = lua_gettop(L);
        if (luaL_loadstring(L, ("return " + list).c_str()) != 0 ||
            lua_pcall(L, 0, LUA_MULTRET, 0) != 0) {
            ADD_FAILURE() << lua_tostring(L, -1);
        }
        return lua_gettop(L) - top;
    }

    // Calls librururev[name](args) with the caller's stack filled to within a
    // few slots of what a C function may use. Returns the number of results,
    // left on the stack above the filler, which must come through intact.
    int call_on_full_stack(const std::string& name, const std::string& args, int filler) {
        EXPECT_TRUE(lua_checkstack(L, filler + 20));
        for (int i = 0; i < filler; i++) lua_pushinteger(L, i);
        lua_getglobal(L, "librururev");
        lua_getfield(L, -1, name.c_str());
        lua_remove(L, -2);
        const int nargs = push_values(args);
        EXPECT_EQ(lua_pcall(L, nargs, LUA_MULTRET, 0), 0) << name << ": " << lua_tostring(L, -1);
        EXPECT_EQ(lua_tointeger(L, 1), 0);
        EXPECT_EQ(lua_tointeger(L, filler), filler - 1);
        return lua_gettop(L) - filler;
    }

    static constexpr int kFullStackFiller = LUAI_MAXCSTACK - 24;
};

TEST_F(HostileCalls, EveryFilterGivesTheSameWordsWhereverItIsCalledFrom) {
    const std::string call = "(buf, 3, 2, " + kParams + ")";
    const std::string contexts[] = {
        "local n, r = count(librururev.NAME" + call + ")\n"
        "assert(n == 1 and r == buf)",
        "local n, ok, r = count(pcall(librururev.NAME, buf, 3, 2, " + kParams + "))\n"
        "assert(n == 2 and ok and r == buf)",
        // Suspended between reading its arguments and the call.
        "local co = coroutine.create(function(...) coroutine.yield(); return librururev.NAME(...) end)\n"
        "assert(coroutine.resume(co, buf, 3, 2, " + kParams + "))\n"
        "local n, ok, r = count(coroutine.resume(co))\n"
        "assert(n == 2 and ok and r == buf and coroutine.status(co) == 'dead')",
        "coroutine.wrap(function()\n"
        "  local ok, r = pcall(librururev.NAME, buf, 3, 2, " + kParams + ")\n"
        "  assert(ok and r == buf)\n"
        "end)()",
        // A tail call leaves the one result to the caller's caller.
        "local function f() return librururev.NAME" + call + " end\n"
        "local n, r = count(f())\n"
        "assert(n == 1 and r == buf)",
    };
    for (const std::string& name : filter_names()) {
        const std::vector<uint32_t> expected = words_after(with_name(contexts[0], name));
        for (const std::string& context : contexts) {
            EXPECT_EQ(words_after(with_name(context, name)), expected) << context;
        }

        reset_state();
        std::vector<uint32_t> px = kImage;
        set_buffer(px);
        const int results = call_on_full_stack(name, "buf, 3, 2, " + kParams, kFullStackFiller);
        EXPECT_EQ(results, 1) << name;
        lua_getglobal(L, "buf");
        EXPECT_TRUE(lua_rawequal(L, -1, -2)) << name << " did not return its buffer";
        lua_settop(L, 0);
        EXPECT_EQ(px, expected) << name << " on a full stack";
    }
}

TEST_F(HostileCalls, FunctionsWithoutABufferOnAFullStack) {
    const struct { const char* name; const char* args; const char* results; } cases[] = {
        {"tovoNum", "", "nil, nil, nil, nil"},
        {"tovoNum", "1, 'x'", "1, 'x', nil, nil"},
        {"tovoNum", "1, 2, 3, 4, 5, 6", "3, 4, 5, 6"},
        {"daytime", "1, 2, 3", nullptr},
        {"tovoInterRGBset", "0, 0, 1", ""},
    };
    for (const auto& c : cases) {
        lua_getglobal(L, "librururev");
        lua_getfield(L, -1, c.name);
        const bool registered = lua_isfunction(L, -1);
        lua_settop(L, 0);
        if (!registered) continue;

        const int results = call_on_full_stack(c.name, c.args, kFullStackFiller);
        if (c.results == nullptr) {
            EXPECT_EQ(results, 1);
            EXPECT_EQ(lua_type(L, -1), LUA_TSTRING);
        } else {
            const int expected = push_values(c.results);
            ASSERT_EQ(results, expected) << c.name << "(" << c.args << ")";
            for (int i = 0; i < expected; i++) {
                EXPECT_TRUE(lua_rawequal(L, -2 * expected + i, -expected + i))
                    << c.name << "(" << c.args << ") result " << i + 1;
            }
        }
        lua_settop(L, 0);
    }
}

TEST_F(HostileCalls, AMissingBufferRaisesForEveryFilterAndLeavesNoTrace) {
    const struct { const char* value; const char* type; } not_buffers[] = {
        {"nil", "nil"}, {"42", "number"}, {"'abc'", "string"},
        {"{}", "table"}, {"true", "boolean"}, {"null_pointer", "userdata"},
    };
    lua_pushlightuserdata(L, nullptr);
    lua_setglobal(L, "null_pointer");
    for (const std::string& name : filter_names()) {
        for (const auto& v : not_buffers) {
            const std::string call = "librururev." + name + "(" + v.value + ", 2, 2, 1)";
            const std::string error = try_run("return " + call);
            const std::string message = "bad argument #1 to '" + name +
                                        "' (pixel buffer expected, got " + v.type + ")";
            EXPECT_NE(error.find(message), std::string::npos) << call << ": " << error;

            // With no pixel to touch the value comes back as it was.
            for (const char* size : {"0, 2", "2, 0"}) {
                run(std::string("local v = ") + v.value + "\n"
                    "local n, r = count(librururev." + name + "(v, " + size + ", 1))\n"
                    "assert(n == 1 and rawequal(r, v))");
            }
        }
        // A colon for a dot makes the module table argument 1.
        const std::string error = try_run("librururev:" + name + "(2, 2)");
        EXPECT_NE(error.find("pixel buffer expected, got table"), std::string::npos) << error;
        // A thousand errors in a row leave the stack and the module usable.
        const int top = lua_gettop(L);
        run("for i = 1, 1000 do assert(not pcall(librururev." + name + ", nil, 1, 1)) end");
        EXPECT_EQ(lua_gettop(L), top);
    }
}

TEST_F(HostileCalls, NoParameterOfAnyTypeOrSizeRaises) {
    // Each value in turn at each parameter position of every filter.
    const std::string script =
        "local hostile = {0/0, 1/0, -1/0, 1e300, -1e300, 2^31, -2^31 - 1, 2^63, -2^63, 2^64,\n"
        "  -0.5, 0.5, 4294967295, -4294967296, '12.7', ' 0x10 ', 'nan', '-inf', '1e400',\n"
        "  'abc', '', {}, true, false, 'nil'}\n"
        "local base = {" + kParams + "}\n"
        "for pos = 1, #base + 2 do\n"
        "  for _, value in ipairs(hostile) do\n"
        "    local args = {unpack(base)}\n"
        "    if value == 'nil' then args[pos] = nil else args[pos] = value end\n"
        "    local n, ok, r = count(pcall(librururev.NAME, buf, 3, 2, unpack(args, 1, #base + 2)))\n"
        "    assert(n == 2 and ok and r == buf, tostring(r))\n"
        "  end\n"
        "end";
    for (const std::string& name : filter_names()) words_after(with_name(script, name));
}

TEST_F(HostileCalls, ThousandsOfExtraArgumentsAreDropped) {
    const std::string script =
        "local extra = {}\n"
        "for i = 1, 7000 do extra[i] = i % 7 == 0 and 'x' or i % 11 == 0 and {} or i end\n"
        "local n, r = count(librururev.NAME(buf, 3, 2, " + kParams + ", unpack(extra)))\n"
        "assert(n == 1 and r == buf)";
    for (const std::string& name : filter_names()) {
        EXPECT_EQ(words_after(with_name(script, name)),
                  words_after("librururev." + name + "(buf, 3, 2, " + kParams + ")")) << name;
    }
}

TEST_F(HostileCalls, SizesThatWrapTouchExactlyTheirProductModulo2To32) {
    const struct { const char* w; const char* h; size_t touched; } sizes[] = {
        {"-1", "-2", 2},            // (2^32 - 1)(2^32 - 2) is 2 modulo 2^32
        {"1/0", "-1", 1},           // an infinite width saturates to 2^32 - 1
        {"1e300", "-3", 3},
        {"2^31 + 1", "2", 2},
        {"2^32 + 3", "1", 3},
        {"'4294967299'", "1", 3},
        {"65536", "65536", 0},
        {"1e300", "0", 0},
        {"-1/0", "5", 0},           // saturates to -2^63, whose low 32 bits are 0
        {"0/0", "7", 0},
        {"-2^63", "1", 0},
        {"2.9", "1", 2},            // truncated
        {"3", "1", 3},
        {"0", "3", 0},
        {"3", "0", 0},
        {"-1", "0", 0},             // 2^32 - 1 times 0
    };
    // tovoRGB adds 1 to the alpha of every word it touches.
    for (const auto& s : sizes) {
        std::vector<uint32_t> px = {0, 0, 0, 0, kGuard};
        set_buffer(px);
        const std::string call = std::string("librururev.tovoRGB(buf, ") + s.w + ", " + s.h + ", 0, 0, 0, 1)";
        run(call);
        for (size_t i = 0; i < 4; i++) EXPECT_EQ(px[i], i < s.touched ? 0x01000000u : 0u) << call;
        EXPECT_EQ(px[4], kGuard) << call;
    }
    // Every filter stays inside the product, whatever its rectangle or grid
    // makes of such a width.
    for (const std::string& name : filter_names()) {
        for (const auto& s : sizes) {
            std::vector<uint32_t> px = kImage;
            set_buffer(px);
            reset_state();
            run("librururev." + name + "(buf, " + s.w + ", " + s.h + ", " + kParams + ")");
            for (size_t i = s.touched; i < px.size(); i++) {
                EXPECT_EQ(px[i], kImage[i]) << name << " with w " << s.w << ", h " << s.h;
            }
        }
    }
}

}  // namespace
