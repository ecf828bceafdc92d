// Lua bindings of the colour adjustment filters.
#include "filters/filter_functions.h"
#include "lua/args.h"
#include "filters/functions.h"
#include "engine/parallel.h"

namespace rururev {

// tovoRGB(data, w, h, t0, t1, t2, t3)
int tovoRGB(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    return run_filter(L, [&] { parallel::tovoRGB(px.data, px.count, t0, t1, t2, t3); });
}

// tovoRGB2(data, w, h, t0, t1, t2, t3)
int tovoRGB2(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t0 = arg_int(L, 4), t1 = arg_int(L, 5), t2 = arg_int(L, 6), t3 = arg_int(L, 7);
    return run_filter(L, [&] { parallel::tovoRGB2(px.data, px.count, t0, t1, t2, t3); });
}

}  // namespace rururev
