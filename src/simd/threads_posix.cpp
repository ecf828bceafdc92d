// run_parts on POSIX threads.
#if !defined(_WIN32)
#include "simd/threads.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace rururev::threads {
namespace {

std::atomic<bool> fail_starts{false};

struct Started {
    PartFn part;
    void* context;
    unsigned index;
};

extern "C" void* run_started(void* arg) {
    const Started* s = static_cast<const Started*>(arg);
    s->part(s->context, s->index);
    return nullptr;
}

}  // namespace

void run_parts(unsigned parts, PartFn part, void* context) {
    // Threads beyond these few are not worth their start: callers plan fewer.
    constexpr unsigned kMost = 64;
    if (parts > kMost) parts = kMost;
    Started started[kMost];
    pthread_t ids[kMost];
    bool running[kMost] = {};
    // The threads take no signals: the host's handlers run on its own
    // threads, as they did before the module split frames.
    sigset_t all, host;
    sigfillset(&all);
    const bool masked = parts > 1 && pthread_sigmask(SIG_SETMASK, &all, &host) == 0;
    for (unsigned k = 1; k < parts; k++) {
        started[k] = {part, context, k};
        running[k] = !fail_starts.load(std::memory_order_relaxed) &&
                     pthread_create(&ids[k], nullptr, run_started, &started[k]) == 0;
    }
    if (masked) pthread_sigmask(SIG_SETMASK, &host, nullptr);
    if (parts > 0) part(context, 0);
    for (unsigned k = 1; k < parts; k++) {
        if (running[k]) {
            pthread_join(ids[k], nullptr);
        } else {
            part(context, k);
        }
    }
}

unsigned hardware_threads() {
#if defined(__linux__)
    // The processors this process is allowed on, which taskset and
    // container limits narrow; the online count when that cannot be read.
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return static_cast<unsigned>(n);
    }
#endif
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1u;
}

void fail_thread_starts_for_test(bool fail) { fail_starts.store(fail); }

}  // namespace rururev::threads
#endif  // !_WIN32
