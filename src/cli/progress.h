// A one-line progress bar on stderr for frame sequences: frames done, the
// total when known, the rate and the time left, cut to the terminal's width
// so that it never wraps. Drawn only when stderr is a terminal; otherwise a
// run of several frames ends with one summary line, so logs stay clean.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace rururev::cli {

// The text of the bar, at most columns - 1 characters; a total of 0 means
// unknown (a raw stream).
std::string progress_line(size_t done, size_t total, double seconds, size_t columns = 80);

class ProgressBar {
public:
    explicit ProgressBar(size_t total);
    void update(size_t done);
    // Ends the bar; the summary line is for a run that succeeded.
    void finish(bool succeeded = true);

private:
    bool enabled_;
    bool drawn_ = false;
    size_t total_;
    size_t done_ = 0;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace rururev::cli
