// The thread plan of the filters: how many threads, and how many parts a
// frame is worth.
#include "engine/parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "engine/split.h"
#include "engine/threads.h"

namespace rururev::parallel {
namespace {

std::atomic<unsigned> test_threads{0};
std::atomic<uint32_t> test_min_words{0};

unsigned default_threads() {
    static const unsigned threads = [] {
        const unsigned asked = threads_value(std::getenv("RURUREV_THREADS"));
        if (asked != 0) return asked;
        return std::clamp(threads::hardware_threads(), 1u, kDefaultMost);
    }();
    return threads;
}

}  // namespace

// Under a test plan every filter splits at the plan's part size.
unsigned parts_for(uint64_t words, uint32_t min_words) {
    const unsigned threads = thread_count();
    if (test_threads.load(std::memory_order_relaxed) != 0) {
        min_words = test_min_words.load(std::memory_order_relaxed);
    }
    const uint64_t most = words / std::max<uint32_t>(min_words, 1);
    return static_cast<unsigned>(std::clamp<uint64_t>(most, 1, threads));
}

unsigned threads_value(const char* value) {
    if (value == nullptr || *value < '0' || *value > '9') return 0;
    char* end = nullptr;
    const unsigned long n = std::strtoul(value, &end, 10);
    if (*end != '\0') return 0;
    return static_cast<unsigned>(std::min<unsigned long>(n, threads::kMost));
}

unsigned thread_count() {
    const unsigned forced = test_threads.load(std::memory_order_relaxed);
    return forced != 0 ? forced : default_threads();
}

void set_plan_for_test(unsigned threads, uint32_t min_words) {
    test_min_words.store(min_words, std::memory_order_relaxed);
    test_threads.store(std::min(threads, threads::kMost), std::memory_order_relaxed);
}

}  // namespace rururev::parallel
