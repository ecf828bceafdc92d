// The switch between the fast paths and the plain kernels.
//
// Every filter with a fast path has a function rururev::fast::X with the
// signature of its plain kernel rururev::kernel::X. It writes exactly the
// words the plain kernel writes, on the best SIMD target the CPU supports,
// unless the environment variable RURUREV_PLAIN asks for the plain kernel.
#pragma once

namespace rururev::fast {

// True for a set RURUREV_PLAIN value that asks for the plain kernels: any
// non-empty value other than "0".
bool plain_value(const char* value);

// RURUREV_PLAIN as the process saw it on the first call; read once.
bool plain_requested();

}  // namespace rururev::fast
