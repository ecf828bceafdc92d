// daytime's text and tovoNum's pass-through.
#include <cstring>
#include <regex>

#include "lua_fixture.h"
#include "module/localtime.h"

using rururev::LocalTime;

TEST(Daytime, FormatsEveryFieldWithItsPadding) {
    const struct { LocalTime t; const char* text; } cases[] = {
        {{2024, 3, 5, 2, 9, 7, 3}, "2024/03/05 Tue 09:07:03"},
        {{2027, 1, 1, 5, 0, 0, 0}, "2027/01/01 Fri 00:00:00"},
        {{999, 12, 31, 0, 23, 59, 59}, "0999/12/31 Sun 23:59:59"},
        {{7, 6, 15, 6, 12, 30, 45}, "0007/06/15 Sat 12:30:45"},
        {{12345, 10, 10, 1, 1, 2, 3}, "12345/10/10 Mon 01:02:03"},
    };
    for (const auto& c : cases) {
        char out[256];
        rururev::format_daytime(c.t, out, sizeof out);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(Daytime, ADayOfWeekOutOfRangeNeverReadsPastTheNames) {
    char out[256];
    rururev::format_daytime({2024, 1, 1, 7, 0, 0, 0}, out, sizeof out);
    EXPECT_STREQ(out, "2024/01/01 ??? 00:00:00");
}

using Utilities = LuaTest;

TEST_F(Utilities, DaytimeMatchesItsPatternAndIgnoresArguments) {
    const std::regex pattern(R"(\d{4}/\d{2}/\d{2} (Sun|Mon|Tue|Wed|Thu|Fri|Sat) \d{2}:\d{2}:\d{2})");
    for (const char* call : {"librururev.daytime()", "librururev.daytime(1, 'x', {})"}) {
        run(std::string("s, n = ") + call + ", select('#', " + call + ")");
        lua_getglobal(L, "s");
        const std::string text = lua_tostring(L, -1);
        lua_pop(L, 1);
        EXPECT_TRUE(std::regex_match(text, pattern)) << text;
        EXPECT_EQ(text.size(), 23u);
        EXPECT_EQ(eval_number("n"), 1);
    }
}

TEST_F(Utilities, TovoNumHandsBackItsLastFourValues) {
    run("local a, b, c, d = librururev.tovoNum(1.5, 2.5, 3.5, 4.25)\n"
        "assert(a == 1.5 and b == 2.5 and c == 3.5 and d == 4.25)");
    run("assert(select('#', librururev.tovoNum(1, 2, 3, 4)) == 4)");
    run("local a, b, c, d = librururev.tovoNum(1, 2, 3, 4, 5, 6)\n"
        "assert(a == 3 and b == 4 and c == 5 and d == 6)");
    run("local a, b = librururev.tovoNum('7', 0.1, 3, 4)\n"
        "assert(a == '7' and b == 0.1)");
}

TEST_F(Utilities, TovoNumPadsMissingArgumentsWithNil) {
    run("assert(select('#', librururev.tovoNum()) == 4)");
    run("local a, b, c, d = librururev.tovoNum(1, 2)\n"
        "assert(a == 1 and b == 2 and c == nil and d == nil)");
    run("local t = {pcall(librururev.tovoNum, 9)}\n"
        "assert(#t == 2 and t[1] == true and t[2] == 9 and select('#', unpack(t, 1, 5)) == 5)");
}
