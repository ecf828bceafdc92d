// Lua bindings of the tone filters.
#include "filters/filter_functions.h"
#include "lua/args.h"
#include "filters/functions.h"
#include "engine/parallel.h"

namespace rururev {

// tovoMono(data, w, h, t0, t1, t2, t3, t4)
int tovoMono(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    const bool t4 = arg_bool(L, 8);
    return run_filter(L, [&] { parallel::tovoMono(px.data, px.count, t0, t1, t2, t3, t4); });
}

// tovo2Pns(data, w, h, t0, t1, t2, t3, t4, t5, t6): t4 is read as a number,
// so true reads as 0 and selects the weighted grey level.
int tovo2Pns(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    const uint8_t t4 = arg_byte(L, 8);
    const int32_t t5 = arg_int(L, 9), t6 = arg_int(L, 10);
    return run_filter(L, [&] { parallel::tovo2Pns(px.data, px.count, t0, t1, t2, t3, t4, t5, t6); });
}

// tovoAlp0(data, w, h, t0, t1, t2)
int tovoAlp0(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6);
    return run_filter(L, [&] { kernel::tovoAlp0(px.data, px.count, t0, t1, t2); });
}

// tovoNStage(data, w, h, t0, t1, t2, t3, chk0)
int tovoNStage(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    const bool chk0 = arg_bool(L, 8);
    return run_filter(L, [&] { parallel::tovoNStage(px.data, px.count, t0, t1, t2, t3, chk0); });
}

// tovoNStage2(data, w, h, t0, t1, t2, t3, chk0)
int tovoNStage2(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    const bool chk0 = arg_bool(L, 8);
    return run_filter(L, [&] { parallel::tovoNStage2(px.data, px.count, t0, t1, t2, t3, chk0); });
}

// tovoGanma(data, w, h, t0, t1, t2, t3): t0 is rounded to single precision.
int tovoGanma(lua_State* L) {
    const Pixels px = get_pixels(L);
    const float t0 = arg_float(L, 4);
    const int32_t t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    return run_filter(L, [&] { parallel::tovoGanma(px.data, px.count, t0, t1, t2, t3); });
}

// tovoRngPut(data, w, h, t0, t1, t2, oc, chk)
int tovoRngPut(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6);
    const uint32_t oc = arg_dword(L, 7);
    const uint8_t chk = arg_byte(L, 8);
    return run_filter(L, [&] { parallel::tovoRngPut(px.data, px.count, t0, t1, t2, oc, chk); });
}

}  // namespace rururev
