// rururev preview: a page on 127.0.0.1 with a control for every parameter,
// which shows a picture through a chain of filters as the user moves them,
// with the Lua lines and the apply command that give the same words.
#pragma once

#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/filter_table.h"
#include "cli/host.h"

namespace rururev::cli {

// The words after "preview": [--port N] [IN]. Returns the exit status; a
// command-line mistake is reported through `usage_error` (status 2).
int preview(LuaHost& host, const std::vector<FilterSpec>& filters,
            const std::vector<std::string>& words,
            int (*usage_error)(const std::string&, const std::vector<FilterSpec>&));

// Turns the words of a page's request, "[--curve SPEC] FUNCTION ARGS [+ ...]",
// into an apply command on IN and OUT, checked as the command line checks it.
bool parse_preview_request(const std::string& text, const std::vector<FilterSpec>& filters,
                           ApplyCommand& out, std::string& error);

}  // namespace rururev::cli
