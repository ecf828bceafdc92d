// Raw video through pipes: frames of width x height pixels, 4 bytes each in
// the order blue, green, red, alpha (the module's pixel word in
// little-endian memory), one frame after another with nothing between.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cli/progress.h"

namespace rururev::cli {

void bgra_to_words(const unsigned char* bytes, uint32_t* words, size_t count);
void words_to_bgra(const uint32_t* words, unsigned char* bytes, size_t count);

// Called on each frame's pixel words; false with a reason stops the stream.
using FrameFilter = std::function<bool(uint32_t* words, std::string& error)>;

// Reads frames from `in` and writes each, filtered, to `out`; "-" stands for
// stdin or stdout. An output file is replaced only when the stream ends. A
// last frame shorter than a whole frame is an error, reported after every
// full frame before it has been written. `jobs` threads read, convert and
// write frames while the filter runs (see pipeline.h). A `frames` limit
// above 0 stops after that many frames.
bool run_raw(const std::string& in, const std::string& out, uint32_t width, uint32_t height,
             const FrameFilter& filter, unsigned jobs, uint64_t frames, std::string& error);

}  // namespace rururev::cli
