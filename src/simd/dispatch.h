// The switch between the fast paths and the plain kernels.
//
// Every filter with a fast path has a function rururev::fast::X with the
// signature of its plain kernel rururev::kernel::X. It writes exactly the
// words the plain kernel writes, on the best SIMD target the CPU supports,
// unless the environment variable RURUREV_PLAIN asks for the plain kernel.
// RURUREV_TARGET may name a lesser target as the best one to use.
#pragma once

#include <cstdint>

namespace rururev::fast {

// True for a set RURUREV_PLAIN value that asks for the plain kernels: any
// non-empty value other than "0".
bool plain_value(const char* value);

// RURUREV_PLAIN as the process saw it on the first call; read once. The
// first call also applies RURUREV_TARGET.
bool plain_requested();

// The SIMD target a RURUREV_TARGET value names, by the target names of the
// SIMD library (AVX3_DL, AVX3, AVX2, SSE4, EMU128, SCALAR; any case), as
// that library's target bit; 0 for an unset, empty or unknown value.
int64_t target_value(const char* value);

// Leaves out of the fast paths every target better than the one `value`
// names; one the processor lacks leaves the best it has below that, an
// unknown or empty value (or null) leaves every target. Process-wide: the
// first call applies RURUREV_TARGET with it; tests call it again.
void limit_targets(const char* value);

// The name of the SIMD target the fast paths run on now ("plain" in a
// build without SIMD).
const char* target_in_use();

}  // namespace rururev::fast
