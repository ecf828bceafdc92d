// The calling convention through a real Lua state: argument conversions,
// the stack cut, the one result, and calls without a buffer.
#include "lua_fixture.h"

using CallingConvention = LuaTest;

// Channel offsets make the conversions visible: t0 lands in red.
TEST_F(CallingConvention, ParametersConvertByTheirType) {
    const struct { const char* call; uint32_t red; } cases[] = {
        {"librururev.tovoRGB(buf, 1, 1, 12.7)", 112},
        {"librururev.tovoRGB(buf, 1, 1, -12.7)", 88},
        {"librururev.tovoRGB(buf, 1, 1, '20')", 120},
        {"librururev.tovoRGB(buf, 1, 1, ' 0x10 ')", 116},
        {"librururev.tovoRGB(buf, 1, 1, {})", 100},
        {"librururev.tovoRGB(buf, 1, 1, true)", 100},
        {"librururev.tovoRGB(buf, 1, 1, 'abc')", 100},
        {"librururev.tovoRGB(buf, 1, 1)", 100},
        {"librururev.tovoRGB(buf, '1', '1', 5)", 105},
        {"librururev.tovoRGB(buf, 1, 1, 0/0)", 100},
        {"librururev.tovoRGB(buf, 1, 1, 1e300)", 255},
        {"librururev.tovoRGB(buf, 1, 1, -1/0)", 0},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> px = {0x80646464};
        set_buffer(px);
        run(c.call);
        EXPECT_EQ(px[0], 0x80006464u | (c.red << 16)) << c.call;
    }
}

TEST_F(CallingConvention, WidthAndHeightAreTruncatedWords) {
    const struct { const char* call; std::vector<uint32_t> after; } cases[] = {
        {"librururev.tovoRGB(buf, 2.9, 1, 1)", {0x01010000, 0x01010000, 0x01000000}},
        {"librururev.tovoRGB(buf, 3, 1, 1)", {0x01010000, 0x01010000, 0x01010000}},
        {"librururev.tovoRGB(buf, 0, 3, 1)", {0x01000000, 0x01000000, 0x01000000}},
        {"librururev.tovoRGB(buf, 3, 0, 1)", {0x01000000, 0x01000000, 0x01000000}},
        {"librururev.tovoRGB(buf)", {0x01000000, 0x01000000, 0x01000000}},
        // -1 is 2^32 - 1; times 0 it is still no pixel at all.
        {"librururev.tovoRGB(buf, -1, 0, 1)", {0x01000000, 0x01000000, 0x01000000}},
        // 65536 x 65536 wraps to 0 in 32 bits: nothing is touched.
        {"librururev.tovoRGB(buf, 65536, 65536, 1)", {0x01000000, 0x01000000, 0x01000000}},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> px(3, 0x01000000);
        set_buffer(px);
        run(c.call);
        EXPECT_EQ(px, c.after) << c.call;
    }
}

TEST_F(CallingConvention, ReturnsTheBufferAloneAndDropsExtras) {
    std::vector<uint32_t> px = {0xFF000000};
    set_buffer(px);
    run("n = select('#', librururev.tovoRGB(buf, 1, 1, 0, 0, 0, 0, 'x', {}, 9))\n"
        "same = librururev.tovoRGB2(buf, 1, 1, 0, 0, 0, 0, 1, 2, 3) == buf\n"
        "assert(n == 1 and same)");
    // Nothing is left on the caller's stack either.
    run("local function f() return librururev.tovoRGB(buf, 1, 1, 1, 2, 3, 4, 5, 6) end\n"
        "assert(select('#', f()) == 1)");
}

TEST_F(CallingConvention, FullUserdataBlocksAreAcceptedAsBuffers) {
    auto* block = static_cast<uint32_t*>(lua_newuserdata(L, 2 * sizeof(uint32_t)));
    block[0] = 0x01020304;
    block[1] = 0x00000000;
    lua_setglobal(L, "ud");
    run("librururev.tovoRGB(ud, 2, 1, 1, 1, 1, 1)");
    EXPECT_EQ(block[0], 0x02030405u);
    EXPECT_EQ(block[1], 0x01010101u);
}

TEST_F(CallingConvention, MissingBufferRaisesBeforeTouchingAnything) {
    const struct { const char* call; const char* message; } cases[] = {
        {"librururev.tovoRGB(nil, 1, 1)",
         "bad argument #1 to 'tovoRGB' (pixel buffer expected, got nil)"},
        {"librururev.tovoRGB2(42, 2, 2, 1)",
         "bad argument #1 to 'tovoRGB2' (pixel buffer expected, got number)"},
        {"librururev.tovoRGB('abc', 1, 1)",
         "bad argument #1 to 'tovoRGB' (pixel buffer expected, got string)"},
    };
    for (const auto& c : cases) {
        const std::string error = try_run(c.call);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    // With no pixel to touch there is nothing to complain about.
    run("local v = librururev.tovoRGB('abc', 0, 5, 1); assert(v == 'abc')");
    run("assert(librururev.tovoRGB(nil, 7, 0) == nil)");
}
