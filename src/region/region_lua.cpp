// Lua bindings of the colour-key and region filters.
#include "lua/args.h"
#include "filters/functions.h"
#include "lua/lua_api.h"
#include "region/frame_store.h"
#include "filters/filter_functions.h"
#include "engine/parallel.h"

namespace rururev {

// tovoYCbCr(data, w, h, t0, t1, t2, oc)
int tovoYCbCr(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6);
    const uint32_t oc = arg_dword(L, 7);
    return run_filter(L, [&] { parallel::tovoYCbCr(px.data, px.count, t0, t1, t2, oc); });
}

// The arguments tovoCSplt and tovoCTracking share after the buffer: w and h
// again (reading them twice has no effect), for the rectangle needs them.
struct SelectArgs {
    uint32_t w, h;
    int32_t t0, t1, t2, t3;
    uint32_t oc, x0, x1, y0, y1;
};

static SelectArgs select_args(lua_State* L) {
    return {arg_dword(L, 2), arg_dword(L, 3), arg_int(L, 4),   arg_int(L, 5),
            arg_int(L, 6),   arg_int(L, 7),   arg_dword(L, 8), arg_dword(L, 9),
            arg_dword(L, 10), arg_dword(L, 11), arg_dword(L, 12)};
}

// tovoCSplt(data, w, h, t0, t1, t2, t3, oc, x0, x1, y0, y1)
int tovoCSplt(lua_State* L) {
    const Pixels px = get_pixels(L);
    const SelectArgs a = select_args(L);
    return run_filter(L, [&] {
        parallel::tovoCSplt(px.data, a.w, a.h, a.t0, a.t1, a.t2, a.t3, a.oc, a.x0, a.x1, a.y0, a.y1);
    });
}

// tovoCTracking(data, w, h, t0, t1, t2, t3, oc, x0, x1, y0, y1)
int tovoCTracking(lua_State* L) {
    const Pixels px = get_pixels(L);
    const SelectArgs a = select_args(L);
    return run_filter(L, [&] {
        parallel::tovoCTracking(px.data, a.w, a.h, a.t0, a.t1, a.t2, a.t3, a.oc, a.x0, a.x1, a.y0,
                              a.y1);
    });
}

// Raised before any pixel is touched; holds no C++ object, so the long jump
// skips no destructor.
static void raise_no_store(lua_State* L, uint32_t count) {
    luaL_error(L, "tovoFrameCBA: not enough memory for a frame store of %s pixels",
               number_text(count).text);
}

// tovoFrameCBA(data, w, h, t0, t1, t2, t3, nn, oc, chk0); t0 plays no part.
int tovoFrameCBA(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7), nn = arg_int(L, 8);
    const uint32_t oc = arg_dword(L, 9);
    const bool chk0 = arg_bool(L, 10);
    // A call without pixels leaves the store as it is.
    FrameStore& store = frame_store();
    if (px.count > 0 && !store.fit(px.count)) raise_no_store(L, px.count);
    return run_filter(L, [&] {
        parallel::tovoFrameCBA(px.data, px.count, store.words(), t1, t2, t3, nn, oc, chk0);
    });
}

}  // namespace rururev
