// The module across Lua states and across repeated loading: its state is
// module-wide, so a script split over several states, or over a second
// require, gives the words it gives in one state.
#include "lua_fixture.h"
#include "module/module_state.h"
#include "registered.h"

namespace {

const std::vector<uint32_t> kFirstFrame = {0xFF204080, 0x00FF8000, 0x80808080,
                                           0xFFFFFFFF, 0x01000000, 0x7F0A141E};
const std::vector<uint32_t> kSecondFrame = {0xFF204080, 0x00FF8001, 0x80F08080,
                                            0xFF000000, 0x01000000, 0x7F0A641E};

// Two parameter lists for every filter: the second puts the curve filters in
// mode 0 with a scale of 1, so that the curve points below move levels.
const std::string kParams[] = {"10, -20, 30, 2, 4278255360, 1, 2, 0, 1, true",
                               "100, 0, 256, 1, 2, 3, 4, 5, 6, true"};

struct Step {
    std::string code;  // run with a fresh copy of `frame` as `buf`
    const std::vector<uint32_t>* frame;
};

// Curve points at levels the frames hold, then every filter on the first
// frame and then on the second. Returns the index of the first step of the
// second frame.
size_t script(std::vector<Step>& steps) {
    steps = {{"if librururev.tovoInterRGBset then\n"
              "  librururev.tovoInterRGBset(32, 40, 33)\n"
              "  librururev.tovoInterRGBset(64, -30, 65)\n"
              "  librururev.tovoInterRGBset(128, 20, 129)\n"
              "  librururev.tovoInterRGBset(255, 50, 256)\n"
              "  librururev.tovoInterRGBset(0, -10, 1)\n"
              "end",
              &kFirstFrame}};
    size_t second_frame = 0;
    for (const auto* frame : {&kFirstFrame, &kSecondFrame}) {
        if (frame == &kSecondFrame) second_frame = steps.size();
        for (const std::string& params : kParams) {
            for (const std::string& name : filter_names()) {
                steps.push_back({"librururev." + name + "(buf, 3, 2, " + params + ")", frame});
            }
        }
    }
    return second_frame;
}

// How the script is spread over Lua states.
enum class Split { OneState, OneAfterTheOther, Alternating, RequiredAgain };

std::vector<std::vector<uint32_t>> run_script(Split split) {
    std::vector<Step> steps;
    const size_t half = script(steps);
    rururev::reset_module_state();
    lua_State* first = open_module_state();
    lua_State* second = split == Split::Alternating ? open_module_state() : nullptr;

    std::vector<std::vector<uint32_t>> words;
    for (size_t i = 0; i < steps.size(); i++) {
        if (i == half && split == Split::OneAfterTheOther) {
            lua_close(first);
            first = open_module_state();
        }
        if (i == half && split == Split::RequiredAgain) {
            EXPECT_EQ(run_chunk(first, "package.loaded.librururev = nil; librururev = nil\n"
                                       "require 'librururev'"), "");
        }
        lua_State* L = second != nullptr && i % 2 == 1 ? second : first;
        std::vector<uint32_t> px = *steps[i].frame;
        EXPECT_EQ(run_on_buffer(L, px.data(), steps[i].code), "") << steps[i].code;
        words.push_back(px);
    }
    lua_close(first);
    if (second != nullptr) lua_close(second);
    rururev::reset_module_state();
    return words;
}

TEST(ModuleLifetime, StateIsSharedByEveryLuaStateInTheProcess) {
    const auto in_one_state = run_script(Split::OneState);
    for (Split split : {Split::OneAfterTheOther, Split::Alternating, Split::RequiredAgain}) {
        EXPECT_EQ(run_script(split), in_one_state) << "split " << static_cast<int>(split);
    }
}

TEST(ModuleLifetime, RequireAgainAfterClearingPackageLoaded) {
    const struct {
        const char* clear;
        bool same_table;    // the global table is registered into again
        const char* error;  // nullptr when require succeeds
    } cases[] = {
        {"package.loaded.librururev = nil", true, nullptr},
        {"package.loaded.librururev = false", true, nullptr},
        {"package.loaded.librururev = nil; librururev = nil", false, nullptr},
        // The host refuses to register over a global of another type.
        {"package.loaded.librururev = nil; librururev = 42", false,
         "name conflict for module 'librururev'"},
    };
    for (const auto& c : cases) {
        lua_State* L = open_module_state();
        EXPECT_EQ(run_chunk(L, std::string("old = librururev\n") + c.clear), "");
        const std::string error = run_chunk(L, "new = require 'librururev'");
        if (c.error != nullptr) {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.clear << ": " << error;
            EXPECT_EQ(run_chunk(L, "assert(old.tovoNum(1, 2, 3, 4) == 1)"), "");
            lua_close(L);
            continue;
        }
        ASSERT_EQ(error, "") << c.clear;
        EXPECT_EQ(run_chunk(L, std::string("assert((new == old) == ") +
                                   (c.same_table ? "true" : "false") + ")\n"
                                   "assert(librururev == new and package.loaded.librururev == new)"),
                  "") << c.clear;
        for (const std::string& name : registered_names()) {
            EXPECT_EQ(run_chunk(L, "assert(type(new." + name + ") == 'function')"), "") << name;
        }
        // Functions from both loads work on a buffer alike.
        std::vector<uint32_t> px = {0x80102030, 0x80102030};
        EXPECT_EQ(run_on_buffer(L, px.data(), "old.tovoRGB(buf, 1, 1, 1, 2, 3, 4)\n"
                               "new.tovoRGB(buf, 2, 1, 1, 2, 3, 4)"), "");
        EXPECT_EQ(px, (std::vector<uint32_t>{0x88122436, 0x84112233})) << c.clear;
        lua_close(L);
    }
}

// A host may open no standard library at all and call the entry point
// itself, without require.
TEST(ModuleLifetime, BareStateWithoutStandardLibraries) {
    lua_State* L = luaL_newstate();
    lua_pushcfunction(L, luaopen_librururev);
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0) << lua_tostring(L, -1);
    ASSERT_TRUE(lua_istable(L, -1));
    lua_getglobal(L, "librururev");
    EXPECT_TRUE(lua_rawequal(L, -1, -2));

    std::vector<uint32_t> px = {0x80102030, 0x00000000};
    lua_getfield(L, -1, "tovoRGB");
    lua_pushlightuserdata(L, px.data());
    for (double v : {2.0, 1.0, 1.0, 2.0, 3.0, 4.0}) lua_pushnumber(L, v);
    ASSERT_EQ(lua_pcall(L, 7, LUA_MULTRET, 0), 0) << lua_tostring(L, -1);
    EXPECT_EQ(lua_gettop(L), 3);
    EXPECT_EQ(lua_touserdata(L, -1), px.data());
    EXPECT_EQ(px, (std::vector<uint32_t>{0x84112233, 0x04010203}));

    // The argument error needs no library either.
    lua_getfield(L, 1, "tovoRGB2");
    lua_pushnil(L);
    lua_pushnumber(L, 1);
    lua_pushnumber(L, 1);
    ASSERT_NE(lua_pcall(L, 3, 0, 0), 0);
    EXPECT_NE(std::string(lua_tostring(L, -1)).find("pixel buffer expected, got nil"),
              std::string::npos);
    lua_close(L);
}

}  // namespace
