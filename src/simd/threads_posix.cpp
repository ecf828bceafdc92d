// The threads of a call on POSIX threads.
#if !defined(_WIN32)
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <new>

#include "simd/threads.h"
#include "simd/threads_os.h"

namespace rururev::threads {
namespace os {
namespace {

pthread_mutex_t workers_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t work_ready = PTHREAD_COND_INITIALIZER;
pthread_cond_t parts_done = PTHREAD_COND_INITIALIZER;

struct Start {
    void (*run)(void*);
    void* arg;
};

extern "C" void* run_started(void* arg) {
    const Start start = *static_cast<Start*>(arg);
    delete static_cast<Start*>(arg);
    start.run(start.arg);
    return nullptr;
}

}  // namespace

bool start(void (*run)(void*), void* arg, Thread* thread) {
    Start* s = new (std::nothrow) Start{run, arg};
    if (s == nullptr) return false;
    // The threads take no signals: the host's handlers run on its own
    // threads, as they did before the module split frames.
    sigset_t all, host;
    sigfillset(&all);
    const bool masked = pthread_sigmask(SIG_SETMASK, &all, &host) == 0;
    const bool started = pthread_create(thread, nullptr, run_started, s) == 0;
    if (masked) pthread_sigmask(SIG_SETMASK, &host, nullptr);
    if (!started) delete s;
    return started;
}

void join(Thread thread) { pthread_join(thread, nullptr); }

void lock() { pthread_mutex_lock(&workers_lock); }
void unlock() { pthread_mutex_unlock(&workers_lock); }
void wait_for_work() { pthread_cond_wait(&work_ready, &workers_lock); }
void wake_workers() { pthread_cond_broadcast(&work_ready); }
void wait_for_done() { pthread_cond_wait(&parts_done, &workers_lock); }
void wake_caller() { pthread_cond_signal(&parts_done); }

long process_id() { return static_cast<long>(getpid()); }

}  // namespace os

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

}  // namespace rururev::threads
#endif  // !_WIN32
