// The filters' plain kernels (rururev::kernel), their fast paths
// (rururev::fast, the same words as the kernel) and their threaded forms
// (rururev::parallel, the same words again, a large frame cut into parts
// that run at once), declared from the one list in filter_list.inc.
#pragma once

#include <cstdint>

namespace rururev::kernel {
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) void name params;
#define RURUREV_KERNEL_ONLY(name, kinds, params, about, sample) void name params;
#include "filters/filter_list.inc"
}  // namespace rururev::kernel

namespace rururev::fast {
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) void name params;
#include "filters/filter_list.inc"
}  // namespace rururev::fast

namespace rururev::parallel {
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) void name params;
#include "filters/filter_list.inc"
}  // namespace rururev::parallel

// The same call written once, as three functions over (d, w, h): on the
// plain kernels, on the fast paths, and on the fast paths over threads. For
// the tests that compare them and for the benchmark.
#define RURUREV_EACH_PATH(call)                       \
    [](uint32_t* d, uint32_t w, uint32_t h) {         \
        using namespace rururev::kernel;              \
        (void)w, (void)h;                             \
        call;                                         \
    },                                                \
    [](uint32_t* d, uint32_t w, uint32_t h) {         \
        using namespace rururev::fast;                \
        (void)w, (void)h;                             \
        call;                                         \
    },                                                \
    [](uint32_t* d, uint32_t w, uint32_t h) {         \
        using namespace rururev::parallel;            \
        (void)w, (void)h;                             \
        call;                                         \
    }
