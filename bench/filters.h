// The filters the benchmark times, each with representative parameters.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

using Run = void (*)(uint32_t* data, uint32_t w, uint32_t h);

struct BenchFilter {
    const char* label;     // the row name: the function, and its mode if any
    const char* name;      // the Lua function
    const char* lua_args;  // its parameters after data, w and h, as Lua source
    Run plain;             // the plain kernel with those parameters
    Run fast;              // the fast path with those parameters
    Run threaded;          // the fast path over threads (timed through Lua instead)
};

std::vector<BenchFilter> bench_filters();

}  // namespace bench
