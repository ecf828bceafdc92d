// The filters' plain kernels (rururev::kernel), their fast paths
// (rururev::fast, the same words as the kernel) and their threaded forms
// (rururev::parallel, the same words again, a large frame cut into parts
// that run at once), declared from the one list in filter_list.inc.
#pragma once

#include <cstdint>

namespace rururev::kernel {
#define RURUREV_FILTER(name, split, cost, kinds, params, args) void name params;
#define RURUREV_KERNEL_ONLY(name, kinds, params) void name params;
#include "filter_list.inc"
}  // namespace rururev::kernel

namespace rururev::fast {
#define RURUREV_FILTER(name, split, cost, kinds, params, args) void name params;
#include "filter_list.inc"
}  // namespace rururev::fast

namespace rururev::parallel {
#define RURUREV_FILTER(name, split, cost, kinds, params, args) void name params;
#include "filter_list.inc"
}  // namespace rururev::parallel
