#include "filters.h"

#include "adjust/adjust.h"
#include "curve/curve.h"
#include "simd/fast.h"

// One entry per filter over w x h words. The parameters are written once and
// serve as the Lua source as well as the C++ arguments.
#define COUNT_FILTER(name, ...) LUA_COUNT_FILTER(name, #__VA_ARGS__, __VA_ARGS__)

// The same, for filters whose C++ arguments differ from the Lua ones (the
// curve filters read the module's curve table, which Lua does not pass).
#define LUA_COUNT_FILTER(name, lua_args, ...)                                          \
    BenchFilter {                                                                      \
        #name, lua_args,                                                               \
            [](uint32_t* d, uint32_t w, uint32_t h) {                                  \
                rururev::kernel::name(d, w * h, __VA_ARGS__);                          \
            },                                                                         \
            [](uint32_t* d, uint32_t w, uint32_t h) {                                  \
                rururev::fast::name(d, w * h, __VA_ARGS__);                            \
            }                                                                          \
    }

using rururev::pointy;

namespace bench {

std::vector<BenchFilter> bench_filters() {
    return {
        COUNT_FILTER(tovoRGB, 12, -8, 20, 0),
        COUNT_FILTER(tovoRGB2, 12, -8, 20, -16),
        LUA_COUNT_FILTER(tovoInterRGB, "100, 0, 200", pointy, 100, 0, 200),
        LUA_COUNT_FILTER(tovoInterHSV, "100, 0, 200", pointy, 100, 0, 200),
    };
}

}  // namespace bench
