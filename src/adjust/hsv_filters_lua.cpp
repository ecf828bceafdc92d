// Lua bindings of the HSV filters.
#include "adjust/hsv_filters.h"
#include "lua/args.h"
#include "filters/functions.h"
#include "engine/parallel.h"

namespace rururev {

// tovoHSV(data, w, h, t0, t1, t2, t3)
int tovoHSV(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    return run_filter(L, [&] { parallel::tovoHSV(px.data, px.count, t0, t1, t2, t3); });
}

// tovoHSV2(data, w, h, t0, t1, t2, t3, t4, t5): t4 is a colour word
int tovoHSV2(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    const uint32_t t4 = arg_dword(L, 8);
    const int32_t t5 = arg_int(L, 9);
    return run_filter(L, [&] { parallel::tovoHSV2(px.data, px.count, t0, t1, t2, t3, t4, t5); });
}

// tovoNega(data, w, h, t0, t1, t2, t3)
int tovoNega(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    return run_filter(L, [&] { parallel::tovoNega(px.data, px.count, t0, t1, t2, t3); });
}

// tovoHighShadow(data, w, h, t0, t1, t2, t3, cmax, cmin)
int tovoHighShadow(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    const int32_t cmax = arg_int(L, 8), cmin = arg_int(L, 9);
    return run_filter(L, [&] {
        parallel::tovoHighShadow(px.data, px.count, t0, t1, t2, t3, cmax, cmin);
    });
}

// tovoHighShadowDoder(data, w, h, t0, t1, t2, t3, cmax, cmin)
int tovoHighShadowDoder(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    const int32_t cmax = arg_int(L, 8), cmin = arg_int(L, 9);
    return run_filter(L, [&] {
        parallel::tovoHighShadowDoder(px.data, px.count, t0, t1, t2, t3, cmax, cmin);
    });
}

}  // namespace rururev
