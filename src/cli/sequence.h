// The pictures of an apply command through the filter chain: read, filter
// in order, encode and write, on `jobs` threads (see pipeline.h).
#pragma once

#include <string>
#include <vector>

#include "cli/chain.h"
#include "image/frames.h"
#include "cli/host.h"

namespace rururev::cli {

// The threads an apply command runs with: --jobs, or one per core.
unsigned jobs_of(const ApplyCommand& cmd);

// Filters each picture of `frames` into its output file, in order. Stops at
// the first picture that cannot be read, filtered or written, with its
// error; the pictures before it are written.
bool apply_sequence(LuaHost& host, const ApplyCommand& cmd, const std::vector<image::FramePair>& frames,
                    std::string& error);

}  // namespace rururev::cli
