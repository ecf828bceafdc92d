// The Lua binding of tovoFrameCBA, which fits the frame store to the frame
// before it runs.
#include "lua/args.h"
#include "filters/hand_bindings.h"
#include "lua/lua_api.h"
#include "region/frame_store.h"
#include "filters/filter_functions.h"

namespace rururev {

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
