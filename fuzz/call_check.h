// What every registered function must leave behind after a call, whatever
// its arguments: the checks the fuzz targets make after each call.
#pragma once

#include <cstdint>
#include <string>

#include <lua.hpp>

namespace fuzz {

// The calling conventions of the module: every registered function is a
// filter except the three named in kind_of.
enum class Kind { Filter, Daytime, PassFour, SetsPoint };
Kind kind_of(const char* name);

// A lua_CFunction that calls the target in its own frame and records what
// the target returned and how high its stack was then. A result count above
// the stack height would make the host copy values from below the call's
// frame; the probe returns none instead and check_call reports it.
void set_probe_target(lua_CFunction target);
int probe(lua_State* L);

struct ProbeRecord {
    bool returned;  // false when the target raised an error
    int results;
    int top;
};
const ProbeRecord& last_probe();

// One finished call as the caller's stack shows it: the arguments' copies
// start at `args`, the results (or the error message) at `results`.
struct Finished {
    const char* name;
    int nargs;
    uint32_t count;     // w x h as the module reads it
    bool buffer_given;  // argument 1 addresses the buffer of count words
    int status;         // 0, or the error status of the call
    int args;
    int results;
};

// Returns "" when the call kept to its function's convention and to the
// module's error rules, or a description of what went wrong.
std::string check_call(lua_State* L, const Finished& call);

// One line naming the call and its arguments, for failure reports.
std::string describe_call(lua_State* L, const Finished& call);

}  // namespace fuzz
