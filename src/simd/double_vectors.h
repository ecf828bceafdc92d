// Whether every SIMD target of the build has vectors of doubles. Highway's
// WebAssembly targets have none (a build for WebAssembly compiles them
// alone, with static dispatch): a fast path that computes in doubles is
// compiled only under RURUREV_DOUBLE_VECTORS, and is its plain kernel
// without it.
#pragma once

#include <hwy/detect_targets.h>

#if HWY_TARGETS & (HWY_WASM | HWY_WASM_EMU256)
#define RURUREV_DOUBLE_VECTORS 0
#else
#define RURUREV_DOUBLE_VECTORS 1
#endif
