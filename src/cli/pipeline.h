// Frames through four stages at once: while the calling thread filters
// frame n in order, worker threads read frames n+1 and later and encode and
// write frames n-1 and earlier. Only the calling thread runs the filter, so
// it alone may touch the Lua state.
//
// A few frames are in flight at a time, whatever the length of the
// sequence. Frames are written one at a time in their order, so a run that
// fails stops with the earliest frame that failed: every frame before it is
// written whole and none after it is written.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "image/raster.h"

namespace rururev::cli {

struct Frame {
    size_t index = 0;                 // from 0, in the order of the sequence
    image::Raster picture;            // the pixel words, once read
    std::vector<unsigned char> bytes; // the frame as read or as encoded
};

enum class ReadResult { frame, end, failed };

struct Stages {
    // Reads frame `frame.index`; `end` when the input has no such frame.
    // Called on workers, several frames at once unless `read_in_order`.
    std::function<ReadResult(Frame&, std::string& error)> read;
    bool read_in_order = false;
    // Called on the calling thread, one frame after another in order.
    std::function<bool(Frame&, std::string& error)> filter;
    // Called on workers, several frames at once.
    std::function<bool(Frame&, std::string& error)> encode;
    // Called on workers, one frame after another in order.
    std::function<bool(Frame&, std::string& error)> write;
    // Called on the calling thread with the number of frames written.
    std::function<void(size_t written)> progress;
};

// The --jobs default: one worker per core the process may run on (a
// taskset or a container narrows them).
unsigned default_jobs();

// Runs frames 0, 1, ... through the stages until `count` frames are done
// (0: until read says end). With jobs 1 every stage runs on the calling
// thread, a frame at a time; with more, `jobs` workers read, encode and
// write. Returns false with the error of the earliest frame that failed;
// `written` is the number of frames written.
bool run_pipeline(const Stages& stages, size_t count, unsigned jobs, size_t& written,
                  std::string& error);

}  // namespace rururev::cli
