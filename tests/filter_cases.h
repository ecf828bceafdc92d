// Builds the script text of a filter call on a 1 x 1 buffer named buf.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

// one_pixel_call("tovoNega", {0, 255, 255, 0}) gives
// "librururev.tovoNega(buf, 1, 1, 0, 255, 255, 0)".
inline std::string one_pixel_call(const char* name, std::initializer_list<int64_t> params) {
    std::string call = std::string("librururev.") + name + "(buf, 1, 1";
    for (const int64_t p : params) call += ", " + std::to_string(p);
    return call + ")";
}
