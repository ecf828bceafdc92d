#include "cli/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace rururev::cli {

static std::string clock_text(double seconds) {
    const long s = static_cast<long>(std::ceil(seconds));
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

std::string progress_line(size_t done, size_t total, double seconds, size_t columns) {
    const bool timed = done > 0 && seconds > 0;
    const double rate = timed ? static_cast<double>(done) / seconds : 0;
    char rate_text[32] = "-- fps";
    if (timed) std::snprintf(rate_text, sizeof rate_text, "%.1f fps", rate);
    char text[160];
    if (total == 0 || done > total) {
        std::snprintf(text, sizeof text, "%zu frames  %s", done, rate_text);
        return std::string(text).substr(0, columns > 0 ? columns - 1 : 0);
    }
    const std::string left =
        timed ? clock_text(static_cast<double>(total - std::min(done, total)) / rate) : "--:--";
    std::snprintf(text, sizeof text, "] %zu/%zu frames  %s  %s left", done, total, rate_text, left.c_str());
    // The bar takes what the words leave of the line, up to 24 marks; the
    // last column stays free, where some terminals wrap at once.
    const std::string words = text;
    const size_t room = columns > words.size() + 2 ? columns - words.size() - 2 : 0;
    const size_t bar_width = std::min<size_t>(room, 24);
    const size_t filled = done >= total ? bar_width : done * bar_width / total;
    const std::string line = "[" + std::string(filled, '#') + std::string(bar_width - filled, '.') + words;
    // Too narrow for a useful bar: the words alone.
    return line.substr(bar_width >= 4 ? 0 : bar_width + 3, columns > 0 ? columns - 1 : 0);
}

std::string phase_line(size_t done, const char* what, double seconds, size_t columns) {
    const std::string line = std::to_string(done) + " frames; " + what + "...  " + clock_text(seconds);
    return line.substr(0, columns > 0 ? columns - 1 : 0);
}

// The terminal's width, or 80 when it does not say.
static size_t terminal_columns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

ProgressBar::ProgressBar(size_t total)
    : enabled_(isatty(STDERR_FILENO) != 0), total_(total), start_(std::chrono::steady_clock::now()) {}

void ProgressBar::update(size_t done) {
    done_ = done;
    if (!enabled_) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    const std::string line = progress_line(done, total_, elapsed.count(), terminal_columns());
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::draw_phase() {
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - phase_start_;
    const std::string line = phase_line(done_, phase_, std::floor(waited.count()), terminal_columns());
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::phase(const char* what) {
    if (!enabled_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    phase_ = what;
    phase_start_ = std::chrono::steady_clock::now();
    draw_phase();
    if (ticker_.joinable()) return;
    ticker_ = std::thread([this] {
        std::unique_lock<std::mutex> held(mutex_);
        while (!wake_.wait_for(held, std::chrono::seconds(1), [this] { return stopping_; })) draw_phase();
    });
}

void ProgressBar::stop_ticking() {
    if (!ticker_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    ticker_.join();
    stopping_ = false;
}

void ProgressBar::finish(bool succeeded) {
    stop_ticking();
    if (drawn_) std::fputc('\n', stderr);
    if (!enabled_ && succeeded && done_ > 1) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        std::fprintf(stderr, "rururev: %zu frames in %.1f s\n", done_, elapsed.count());
    }
    drawn_ = false;
    done_ = 0;
}

}  // namespace rururev::cli
