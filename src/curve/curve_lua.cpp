// Lua bindings of the curve table and the curve filters.
#include "curve/curve.h"
#include "lua/args.h"
#include "filters/hand_bindings.h"

namespace rururev {

// Kept apart so that luaL_argerror's long jump leaves no C++ object behind.
static int raise_bad_position(lua_State* L) {
    return luaL_argerror(L, 3, "curve position must be 1 to 361");
}

// tovoInterRGBset(x, y, idx): no buffer, no stack cut, no result.
int tovoInterRGBset(lua_State* L) {
    const double x = arg_double(L, 1), y = arg_double(L, 2);
    const int32_t idx = arg_int(L, 3);
    if (!kernel::tovoInterRGBset(x, y, idx)) return raise_bad_position(L);
    return 0;
}

// tovoInterRGB(data, w, h, t2, t3, sh)
int tovoInterRGB(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t2 = arg_int(L, 4), t3 = arg_int(L, 5), sh = arg_int(L, 6);
    return run_filter(L, [&] { parallel::tovoInterRGB(px.data, px.count, pointy, t2, t3, sh); });
}

// tovoInterHSV(data, w, h, t2, t3, sh)
int tovoInterHSV(lua_State* L) {
    const Pixels px = get_pixels(L);
    const int32_t t2 = arg_int(L, 4), t3 = arg_int(L, 5), sh = arg_int(L, 6);
    return run_filter(L, [&] { parallel::tovoInterHSV(px.data, px.count, pointy, t2, t3, sh); });
}

}  // namespace rururev
