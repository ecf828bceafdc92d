// rururev apply: the command line read into a plan, checked, and handed to
// the runner for its job: a video, pictures, or a raw stream.
#pragma once

#include <string>
#include <vector>

#include "cli/filter_table.h"
#include "cli/host.h"

namespace rururev::cli {

// The words after "apply". Returns the exit status, having printed any
// failure; a command-line mistake is reported through `usage_error`.
int apply(LuaHost& host, const std::vector<FilterSpec>& filters, const std::vector<std::string>& words,
          int (*usage_error)(const std::string&, const std::vector<FilterSpec>&));

}  // namespace rururev::cli
