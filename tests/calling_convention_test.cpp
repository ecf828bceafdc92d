// The calling convention through a real Lua state: argument conversions and
// the kinds of block a buffer may be (the other ways a script may call are in
// hostile_calls_test.cpp).
#include "lua_fixture.h"

using CallingConvention = LuaTest;

// Channel offsets make the conversions visible: t0 lands in red; offsets
// beyond the integer range saturate and then clamp.
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
        {"librururev.tovoRGB(buf)", 100},
        {"librururev.tovoRGB(buf, 1, 1, 2^31)", 255}, {"librururev.tovoRGB(buf, 1, 1, 2^31 - 1)", 255},
        {"librururev.tovoRGB(buf, 1, 1, -2^31)", 0}, {"librururev.tovoRGB(buf, 1, 1, -2^31 - 1)", 0},
        {"librururev.tovoRGB(buf, 1, 1, 2^63)", 255}, {"librururev.tovoRGB(buf, 1, 1, -2^64)", 0},
        {"librururev.tovoRGB(buf, 1, 1, '1e400')", 255}, {"librururev.tovoRGB(buf, 1, 1, '-inf')", 0},
        {"librururev.tovoRGB(buf, 1, 1, 'nan')", 100}, {"librururev.tovoRGB(buf, 1, 1, -0.9)", 100},
        {"librururev.tovoRGB(buf, 1, 1, '0x7fffffff')", 255},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> px = {0x80646464};
        set_buffer(px);
        run(c.call);
        EXPECT_EQ(px[0], 0x80006464u | (c.red << 16)) << c.call;
    }
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
