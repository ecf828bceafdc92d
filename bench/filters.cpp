#include "filters.h"
#include "frame.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filters/filter_functions.h"
#include "curve/curve.h"
#include "engine/parallel.h"

// One entry: the row label, the Lua function, its parameters as Lua source,
// and the same call on the plain kernel, on the fast path and on the fast
// path over threads (`name` then stands for each). The parameters are written once where the Lua and C++
// arguments agree.
#define ENTRY(label, lua_name, lua_args, call) \
    BenchFilter { label, lua_name, lua_args, RURUREV_EACH_PATH(call) }

// Filters over w x h words in a row, whose Lua parameters are their C++ ones.
#define COUNT_FILTER(name, ...) ENTRY(#name, #name, #__VA_ARGS__, name(d, w * h, __VA_ARGS__))

// Filters with no fast path: every call runs the plain kernel.
#define PLAIN_FILTER(name, ...)                                                        \
    BenchFilter {                                                                      \
        #name, #name, #__VA_ARGS__,                                                    \
            [](uint32_t* d, uint32_t w, uint32_t h) {                                  \
                rururev::kernel::name(d, w * h, __VA_ARGS__);                          \
            },                                                                         \
            [](uint32_t* d, uint32_t w, uint32_t h) {                                  \
                rururev::kernel::name(d, w * h, __VA_ARGS__);                          \
            },                                                                         \
            [](uint32_t* d, uint32_t w, uint32_t h) {                                  \
                rururev::kernel::name(d, w * h, __VA_ARGS__);                          \
            }                                                                          \
    }

namespace bench {

namespace {

using rururev::pointy;

// The previous frame of tovoFrameCBA for the kernel rows (the Lua rows use
// the module's own store).
uint32_t* frame_store() {
    static std::vector<uint32_t> store(std::size_t{frame_width()} * frame_height());
    return store.data();
}

}  // namespace

std::vector<BenchFilter> bench_filters() {
    std::vector<BenchFilter> filters = {
        COUNT_FILTER(tovoRGB, 12, -8, 20, 0),
        COUNT_FILTER(tovoRGB2, 12, -8, 20, -16),
        COUNT_FILTER(tovoHSV, 30, 20, -10, 0),
        COUNT_FILTER(tovoHSV2, 20, 10, 0, 5, 0x00C03020, 60),
        COUNT_FILTER(tovoNega, 200, 60, 128, 0),
        COUNT_FILTER(tovoMono, 0, 0, 0, 0, false),
        COUNT_FILTER(tovo2Pns, 0, 0, 0, 0, 0, 255, 0),
        PLAIN_FILTER(tovoAlp0, 50, 1234, 100),
        COUNT_FILTER(tovoYCbCr, 20, 20, 20, 0x00C03020),
        ENTRY("tovoCSplt", "tovoCSplt", "20, 60, 60, 10, 0x00C03020, 200, 1700, 100, 980",
              tovoCSplt(d, w, h, 20, 60, 60, 10, 0x00C03020, 200, 1700, 100, 980)),
        ENTRY("tovoCTracking", "tovoCTracking", "20, 60, 60, 10, 0x00C03020, 200, 1700, 100, 980",
              tovoCTracking(d, w, h, 20, 60, 60, 10, 0x00C03020, 200, 1700, 100, 980)),
        COUNT_FILTER(tovoNStage, 4, 0, 0, 0, false),
        ENTRY("tovoNStage:grey", "tovoNStage", "4, 0, 0, 0, true", tovoNStage(d, w * h, 4, 0, 0, 0, true)),
        COUNT_FILTER(tovoNStage2, 4, 0, 0, 0, false),
        ENTRY("tovoNStage2:grey", "tovoNStage2", "4, 0, 0, 0, true", tovoNStage2(d, w * h, 4, 0, 0, 0, true)),
        COUNT_FILTER(tovoGanma, 2.2, 0, 0, 0),
        ENTRY("tovoFrameCBA", "tovoFrameCBA", "0, 10, 10, 10, 4, 0x00FF0000, true",
              tovoFrameCBA(d, w * h, frame_store(), 10, 10, 10, 4, 0x00FF0000, true)),
        ENTRY("tovoInterRGB", "tovoInterRGB", "100, 0, 200", tovoInterRGB(d, w * h, pointy, 100, 0, 200)),
        ENTRY("tovoInterHSV", "tovoInterHSV", "100, 0, 200", tovoInterHSV(d, w * h, pointy, 100, 0, 200)),
        COUNT_FILTER(tovoHighShadow, 230, 20, 0, 100, 255, 0),
        COUNT_FILTER(tovoHighShadowDoder, 230, 20, 0, 100, 255, 0),
        // Gains other than 100, as scripts pass them.
        ENTRY("tovoHighShadow:gain105", "tovoHighShadow", "235, 20, 5, 105, 250, 5",
              tovoHighShadow(d, w * h, 235, 20, 5, 105, 250, 5)),
        ENTRY("tovoHighShadowDoder:gain110", "tovoHighShadowDoder", "230, 20, 0, 110, 255, 0",
              tovoHighShadowDoder(d, w * h, 230, 20, 0, 110, 255, 0)),
        COUNT_FILTER(tovoRngPut, 50, 150, 1, 0x0000FF00, 0),
    };
    // Every buffer filter of filters/filter_list.inc has a row.
    for (const char* name : {
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) #name,
#define RURUREV_KERNEL_ONLY(name, kinds, params, about, sample) #name,
#include "filters/filter_list.inc"
         }) {
        if (std::none_of(filters.begin(), filters.end(),
                         [&](const BenchFilter& f) { return std::strcmp(f.name, name) == 0; })) {
            std::fprintf(stderr, "bench/filters.cpp has no row for %s\n", name);
            std::exit(1);
        }
    }
    return filters;
}

}  // namespace bench
