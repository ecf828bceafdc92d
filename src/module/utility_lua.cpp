// The two functions that take no pixel buffer.
#include "filters/hand_bindings.h"
#include "module/localtime.h"

namespace rururev {

// Returns the local date and time as "2026/03/05 Tue 09:07:03". Arguments
// are ignored and left where they are.
int daytime(lua_State* L) {
    char szTemp[256];
    format_daytime(local_time_now(), szTemp, sizeof szTemp);
    lua_pushstring(L, szTemp);
    return 1;
}

// Hands back the top four values of its stack: its four arguments exactly as
// passed (the last four when there are more). With fewer than four the
// missing ones come back as nil rather than reaching below the call's stack.
int tovoNum(lua_State* L) {
    if (lua_gettop(L) < 4) lua_settop(L, 4);
    return 4;
}

}  // namespace rururev
