// Helpers for exact-word filter cases: the script text of a call on one
// pixel, and the table checks shared by the filters that take four INT
// parameters (tovoHSV, tovoNega), on the kernel and through Lua.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "lua_fixture.h"

// one_pixel_call("tovoNega", {0, 255, 255, 0}) gives
// "librururev.tovoNega(buf, 1, 1, 0, 255, 255, 0)".
inline std::string one_pixel_call(const char* name, std::initializer_list<int64_t> params) {
    std::string call = std::string("librururev.") + name + "(buf, 1, 1";
    for (const int64_t p : params) call += ", " + std::to_string(p);
    return call + ")";
}

// One pixel word, the four parameters and the word the filter must make.
struct FourIntCase {
    const char* what;
    uint32_t in;
    int32_t t0, t1, t2, t3;
    uint32_t out;
};

using FourIntKernel = void (*)(uint32_t* data, uint32_t count, int32_t, int32_t, int32_t, int32_t);

template <size_t N>
void expect_kernel_words(FourIntKernel kernel, const FourIntCase (&cases)[N]) {
    for (const auto& c : cases) {
        uint32_t px = c.in;
        kernel(&px, 1, c.t0, c.t1, c.t2, c.t3);
        EXPECT_EQ(px, c.out) << c.what << std::hex << ": got " << px;
    }
}

class FourIntFilterTest : public LuaTest {
protected:
    template <size_t N>
    void expect_lua_words(const char* name, const FourIntCase (&cases)[N]) {
        for (const auto& c : cases) {
            std::vector<uint32_t> px = {c.in};
            set_buffer(px);
            run(one_pixel_call(name, {c.t0, c.t1, c.t2, c.t3}));
            EXPECT_EQ(px[0], c.out) << name << ": " << c.what;
        }
    }
};
