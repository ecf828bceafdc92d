// The table of buffer filters (rururev_filters) as the program reads it:
// each filter's name and the types of the parameters that follow data, w and
// h, and whether the loaded librururev has it.
#pragma once

#include <string>
#include <vector>

#include "cli/host.h"

namespace rururev::cli {

struct Param {
    std::string name;
    std::string type;  // int, dword, colour, byte, float or bool
    std::string note;  // what it does and its useful range
};

struct FilterSpec {
    std::string name;
    std::vector<Param> params;
    std::string about;
    bool registered = false;
};

// Splits "t0:int oc:colour" into parameters; false when a word is malformed
// or a type unknown.
bool parse_params(const std::string& text, std::vector<Param>& out);

// Requires rururev_filters in the host and reads it.
bool read_filter_table(LuaHost& host, std::vector<FilterSpec>& out, std::string& error);

const FilterSpec* find_filter(const std::vector<FilterSpec>& filters, const std::string& name);

// The program's usage message, with every filter and its parameters; with
// notes, a line on each parameter under its filter (rururev help).
std::string usage_text(const std::vector<FilterSpec>& filters, bool notes = false);

}  // namespace rururev::cli
