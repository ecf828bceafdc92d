#include "filters.h"

#include "adjust/adjust.h"
#include "simd/fast.h"

// One entry per filter: the parameters are written once and serve as the Lua
// source as well as the C++ arguments.
#define COUNT_FILTER(name, ...)                                                      \
    BenchFilter {                                                                    \
        #name, #__VA_ARGS__,                                                         \
            [](uint32_t* d, uint32_t w, uint32_t h) {                                \
                rururev::kernel::name(d, w * h, __VA_ARGS__);                        \
            },                                                                       \
            [](uint32_t* d, uint32_t w, uint32_t h) { rururev::fast::name(d, w * h, __VA_ARGS__); } \
    }

namespace bench {

std::vector<BenchFilter> bench_filters() {
    return {
        COUNT_FILTER(tovoRGB, 12, -8, 20, 0),
        COUNT_FILTER(tovoRGB2, 12, -8, 20, -16),
    };
}

}  // namespace bench
