// RURUREV_DISPATCH(name): the best compiled form of the per-target function
// rururev::simd::HWY_NAMESPACE::name, called from any namespace. With one
// target compiled (static dispatch, as for WebAssembly) Highway's own macro
// names the target's namespace first, which only code inside rururev::simd
// reaches. RURUREV_ONE_TARGET: whether one target is compiled, so that
// there is no run-time choice (a build of Highway's headers alone has none).
#pragma once

#include <hwy/detect_targets.h>

#if (HWY_TARGETS & (HWY_TARGETS - 1)) == 0
#define RURUREV_ONE_TARGET 1
#define RURUREV_DISPATCH(name) ::rururev::simd::HWY_STATIC_DISPATCH(name)
#else
#define RURUREV_ONE_TARGET 0
#define RURUREV_DISPATCH(name) HWY_DYNAMIC_DISPATCH(::rururev::simd::name)
#endif
