// The chain of filter calls apply makes on each picture, and the curve
// points it sets first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/host.h"

namespace rururev::cli {

// Sets the curve points through tovoInterRGBset. A refused point is a
// command-line mistake: the reason names the function and the triple.
bool set_curve(LuaHost& host, const std::vector<CurvePoint>& curve, std::string& error);

// Calls each step on the pixels, as librururev.f(data, w, h, args...).
bool run_chain(LuaHost& host, const std::vector<Step>& steps, uint32_t* data, uint32_t width,
               uint32_t height, std::string& error);

}  // namespace rururev::cli
