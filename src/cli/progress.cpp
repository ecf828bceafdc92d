#include "cli/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

std::string progress_line(size_t done, size_t total, double seconds) {
    const bool timed = done > 0 && seconds > 0;
    const double rate = timed ? static_cast<double>(done) / seconds : 0;
    char rate_text[32] = "-- fps";
    if (timed) std::snprintf(rate_text, sizeof rate_text, "%.1f fps", rate);
    char text[160];
    if (total == 0) {
        std::snprintf(text, sizeof text, "%zu frames  %s", done, rate_text);
        return text;
    }
    constexpr size_t bar_width = 24;
    const size_t filled = done >= total ? bar_width : done * bar_width / total;
    const std::string bar = std::string(filled, '#') + std::string(bar_width - filled, '.');
    const std::string left =
        timed ? clock_text(static_cast<double>(total - std::min(done, total)) / rate) : "--:--";
    std::snprintf(text, sizeof text, "[%s] %zu/%zu frames  %s  %s left", bar.c_str(), done, total,
                  rate_text, left.c_str());
    return text;
}

ProgressBar::ProgressBar(size_t total)
    : enabled_(isatty(STDERR_FILENO) != 0), total_(total), start_(std::chrono::steady_clock::now()) {}

void ProgressBar::update(size_t done) {
    if (!enabled_) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    std::fprintf(stderr, "\r%s\033[K", progress_line(done, total_, elapsed.count()).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::finish() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
}

}  // namespace rururev::cli
