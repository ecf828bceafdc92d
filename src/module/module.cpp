// The module's entry point and its table of functions.
#include "module/functions.h"
#include "module/lua_api.h"

#if defined(_WIN32)
#define RURUREV_EXPORT extern "C" __declspec(dllexport)
#else
#define RURUREV_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace rururev {

// Registration order is part of the interface: scripts and tests may walk it.
extern const luaL_Reg functiontable[] = {
    {"daytime", daytime},
    {"tovoNum", tovoNum},
    {"tovoRGB", tovoRGB},
    {"tovoRGB2", tovoRGB2},
    {"tovoHSV", tovoHSV},
    {"tovoHSV2", tovoHSV2},
    {"tovoNega", tovoNega},
    {"tovoMono", tovoMono},
    {"tovo2Pns", tovo2Pns},
    {"tovoAlp0", tovoAlp0},
    {"tovoYCbCr", tovoYCbCr},
    {"tovoCSplt", tovoCSplt},
    {"tovoCTracking", tovoCTracking},
    {"tovoNStage", tovoNStage},
    {"tovoNStage2", tovoNStage2},
    {"tovoGanma", tovoGanma},
    {"tovoFrameCBA", tovoFrameCBA},
    {"tovoInterRGB", tovoInterRGB},
    {"tovoInterRGBset", tovoInterRGBset},
    {"tovoInterHSV", tovoInterHSV},
    {"tovoHighShadow", tovoHighShadow},
    {"tovoHighShadowDoder", tovoHighShadowDoder},
    {"tovoRngPut", tovoRngPut},
    {nullptr, nullptr},
};

}  // namespace rururev

// Called by require "librururev": registers the table under that name (the
// global librururev, or the one already loaded) and returns it.
RURUREV_EXPORT int luaopen_librururev(lua_State* L) {
    rururev::open_library(L, "librururev", rururev::functiontable);
    return 1;
}
