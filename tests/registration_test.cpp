// The function table: exactly the 23 functions, in their registration order,
// each reachable from Lua under its own name.
#include "lua_fixture.h"

namespace rururev {
extern const luaL_Reg functiontable[];
}

namespace {
const char* const registration_order[] = {
    "daytime",       "tovoNum",         "tovoRGB",      "tovoRGB2",       "tovoHSV",
    "tovoHSV2",      "tovoNega",        "tovoMono",     "tovo2Pns",       "tovoAlp0",
    "tovoYCbCr",     "tovoCSplt",       "tovoCTracking", "tovoNStage",    "tovoNStage2",
    "tovoGanma",     "tovoFrameCBA",    "tovoInterRGB", "tovoInterRGBset", "tovoInterHSV",
    "tovoHighShadow", "tovoHighShadowDoder", "tovoRngPut",
};
}  // namespace

using Registration = LuaTest;

TEST_F(Registration, TableHoldsTheFunctionsInOrder) {
    size_t n = 0;
    for (const luaL_Reg* r = rururev::functiontable; r->name != nullptr; r++, n++) {
        ASSERT_LT(n, std::size(registration_order));
        EXPECT_STREQ(r->name, registration_order[n]);
        EXPECT_NE(r->func, nullptr);
    }
    EXPECT_EQ(n, std::size(registration_order));
    EXPECT_EQ(rururev::functiontable[n].func, nullptr);

    // The Lua table holds those functions and nothing else.
    run("local n = 0\n"
        "for name, f in pairs(librururev) do\n"
        "  n = n + 1\n"
        "  assert(type(f) == 'function', name)\n"
        "end\n"
        "count = n");
    EXPECT_EQ(eval_number("count"), std::size(registration_order));
    for (size_t i = 0; i < std::size(registration_order); i++) {
        run(std::string("assert(librururev.") + registration_order[i] + " == package.loaded." +
            "librururev." + registration_order[i] + ")");
    }
}
