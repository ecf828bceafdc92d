// A one-line progress bar on stderr for frame sequences: frames done, the
// total when known, the rate and the time left, cut to the terminal's width
// so that it never wraps. Drawn only when stderr is a terminal; otherwise a
// run of several frames ends with one summary line, so logs stay clean.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace rururev::cli {

// The text of the bar, at most columns - 1 characters; a total of 0 means
// unknown (a raw stream), as does one the frames have passed (a guess).
std::string progress_line(size_t done, size_t total, double seconds, size_t columns = 80);
// The line shown after the last frame while the file is finished: what is
// being waited for and for how long.
std::string phase_line(size_t done, const char* what, double seconds, size_t columns = 80);

class ProgressBar {
public:
    explicit ProgressBar(size_t total);
    ~ProgressBar() { stop_ticking(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    void update(size_t done);
    // After the frames: shows what the run waits for, with the time it has
    // waited, redrawn every second until the next phase or finish.
    void phase(const char* what);
    // Ends the bar; the summary line is for a run that succeeded.
    void finish(bool succeeded = true);

private:
    void draw_phase();  // with mutex_ held
    void stop_ticking();

    bool enabled_;
    bool drawn_ = false;
    size_t total_;
    size_t done_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread ticker_;
    bool stopping_ = false;
    const char* phase_ = nullptr;
    std::chrono::steady_clock::time_point phase_start_;
};

}  // namespace rururev::cli
