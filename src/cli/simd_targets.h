// Which SIMD targets the module's fast paths were built for and this
// processor runs, for `rururev --version`.
#pragma once

#include <string>

namespace rururev::cli {

// "AVX2 SSE4 SSE2 (AVX2 in use)", or why the plain kernels run.
std::string simd_targets_text();

}  // namespace rururev::cli
