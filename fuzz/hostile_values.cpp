#include "hostile_values.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace fuzz {

namespace {

const double kTwo32 = 4294967296.0;

// Numbers at the edges of every type an argument converts to, and of the
// ranges filters work in (hues, levels, curve positions).
const double kEdgeNumbers[] = {
    0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 1.5, -1.5, 0.999999, -0.999999, 127.5, 254.5,
    255.0, 256.0, -255.0, -256.0, 359.0, 360.0, 361.0, 362.0, -359.0, -360.0, -361.0, 720.0,
    -721.0, 65535.0, 65536.0, 32767.0, -32768.0, 2147483647.0, 2147483648.0, -2147483648.0,
    -2147483649.0, 2147483647.5, 4294967295.0, 4294967296.0, 4294967297.0, -4294967295.0,
    9007199254740992.0, 9223372036854775807.0, -9223372036854775808.0, 18446744073709551616.0,
    1e300, -1e300, DBL_MAX, -DBL_MAX, DBL_MIN, 4.9e-324, -4.9e-324, FLT_MAX, -FLT_MAX,
    0x1.ffffffp127, 1e39, -1e39, 1e-40, HUGE_VAL, -HUGE_VAL, NAN, -NAN,
    // Pixel words with alpha 255, 128 and 0.
    4278255360.0, 4294967040.0, 2147483648.0 + 8421504.0, 16777215.0,
};

// Strings that read as numbers (and two that do not) by the host's rules.
const char* const kNumericStrings[] = {
    "0", "12", "-12", "12.7", "-12.7", " 0x10 ", "0xFF00FF00", "0xffffffff", "1e400", "-1e400",
    "inf", "-inf", "nan", "2147483648", "-2147483649", "4294967295", "  255  ", "1e-400",
    "0x", "abc", "12abc", "",
};

double pick_number(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: return in.PickValueInArray(kEdgeNumbers);
        case 1: return in.ConsumeIntegralInRange<int>(-3, 20);  // modes, switches, small steps
        case 2: return in.ConsumeIntegralInRange<int>(-600, 600);
        case 3: return in.ConsumeIntegralInRange<int>(-600, 600) + in.ConsumeProbability<double>();
        case 4: return static_cast<double>(in.ConsumeIntegral<uint32_t>());
        default: {
            // Any bit pattern at all: subnormals, NaNs with payloads.
            const uint64_t bits = in.ConsumeIntegral<uint64_t>();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
    }
}

void push_number_text(lua_State* L, double d) {
    char text[64];
    snprintf(text, sizeof text, "%.17g", d);
    lua_pushstring(L, text);
}

}  // namespace

void push_hostile_value(lua_State* L, FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: case 1: case 2: case 3: lua_pushnumber(L, pick_number(in)); break;
        case 4: push_number_text(L, pick_number(in)); break;
        case 5: lua_pushstring(L, in.PickValueInArray(kNumericStrings)); break;
        case 6: lua_pushboolean(L, in.ConsumeBool()); break;
        case 7: lua_pushnil(L); break;
        case 8:
            lua_createtable(L, 1, 0);
            lua_pushnumber(L, pick_number(in));
            lua_rawseti(L, -2, 1);
            break;
        default:
            // A full userdata's block is a pointer like a buffer, but as a
            // parameter it reads as 0.
            std::memset(lua_newuserdata(L, 8), 0xFF, 8);
            break;
    }
}

Geometry pick_geometry(FuzzedDataProvider& in) {
    uint32_t w = 0, h = 0;
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: case 1:  // an ordinary small image
            w = in.ConsumeIntegralInRange<uint32_t>(0, kMaxSide);
            h = in.ConsumeIntegralInRange<uint32_t>(0, kMaxSide);
            break;
        case 2:  // one long row or column
            w = in.ConsumeIntegralInRange<uint32_t>(0, kMaxCount);
            h = 1;
            break;
        case 3:  // -1 times -k is k modulo 2^32
            w = 0xFFFFFFFFu;
            h = 0u - in.ConsumeIntegralInRange<uint32_t>(1, kMaxCount);
            break;
        case 4:  // (2^31 + k) times 2 is 2k modulo 2^32
            w = 0x80000000u + in.ConsumeIntegralInRange<uint32_t>(0, kMaxCount / 2);
            h = 2;
            break;
        default:  // products that wrap to 0, and huge sides against a 0
            w = in.PickValueInArray({0u, 65536u, 0x80000000u, 0xFFFFFFFFu, 0x10000u * 3});
            h = w == 65536u ? 65536u : w == 0x80000000u ? 2u : 0u;
            break;
    }
    if (in.ConsumeBool()) std::swap(w, h);
    return {w, h, w * h};
}

void push_dimension(lua_State* L, FuzzedDataProvider& in, uint32_t value) {
    const double v = value;
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: lua_pushnumber(L, v); break;
        case 1: lua_pushnumber(L, v + 0.75); break;                // truncated
        case 2: lua_pushnumber(L, v - kTwo32); break;              // low 32 bits
        case 3: lua_pushnumber(L, v - kTwo32 - 0.25); break;       // toward zero
        case 4: lua_pushnumber(L, v + kTwo32 * in.ConsumeIntegralInRange<int>(1, 1 << 20)); break;
        case 5: push_number_text(L, in.ConsumeBool() ? v : v - kTwo32); break;
        case 6: {
            char text[32];
            snprintf(text, sizeof text, " 0x%X ", value);
            lua_pushstring(L, text);
            break;
        }
        default:
            if (value == 0) {
                switch (in.ConsumeIntegralInRange<int>(0, 6)) {
                    case 0: lua_pushnil(L); break;
                    case 1: lua_pushboolean(L, in.ConsumeBool()); break;
                    case 2: lua_newtable(L); break;
                    case 3: lua_pushstring(L, "abc"); break;
                    case 4: lua_pushnumber(L, NAN); break;
                    case 5: lua_pushnumber(L, -HUGE_VAL); break;
                    default: lua_pushnumber(L, -0.9); break;
                }
            } else if (value == 0xFFFFFFFFu) {
                lua_pushnumber(L, in.PickValueInArray({1e300, HUGE_VAL, 9223372036854775808.0, -1.5}));
            } else {
                lua_pushnumber(L, v);
            }
            break;
    }
}

}  // namespace fuzz
