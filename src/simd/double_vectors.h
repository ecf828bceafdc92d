// Whether every SIMD target of the build has vectors of doubles: a fast
// path that computes in doubles is compiled only under
// RURUREV_DOUBLE_VECTORS, and is its plain kernel without it. A build with
// one target (static dispatch, as for WebAssembly) asks Highway about that
// target: its WebAssembly target has doubles from Highway 1.1 on, its
// 256-bit WebAssembly emulation has none. The targets of a build with
// dynamic dispatch (x86 and Arm) all have them.
#pragma once

#include <hwy/detect_targets.h>

#if (HWY_TARGETS & (HWY_TARGETS - 1)) == 0
// The one target's macros, which highway.h then keeps (it sets them once
// per target; highway.h itself is not included here, as it may be included
// only once before foreach_target.h).
#include <hwy/ops/set_macros-inl.h>
#if HWY_HAVE_FLOAT64
#define RURUREV_DOUBLE_VECTORS 1
#else
#define RURUREV_DOUBLE_VECTORS 0
#endif
#elif HWY_TARGETS & (HWY_WASM | HWY_WASM_EMU256)
#define RURUREV_DOUBLE_VECTORS 0
#else
#define RURUREV_DOUBLE_VECTORS 1
#endif
