// run_parts on workers kept between calls, or on threads of the call's own
// when no Lua state holds workers, another call has them, or the process is
// the child of a fork (which has none of its parent's threads).
#include <atomic>

#include "engine/threads.h"
#include "engine/threads_os.h"

namespace rururev::threads {
namespace {

constexpr unsigned kMost = 64;

std::atomic<bool> fail_starts{false};

bool start(void (*run)(void*), void* arg, os::Thread* thread) {
    return !fail_starts.load(std::memory_order_relaxed) && os::start(run, arg, thread);
}

// The workers and the call they work for, all under os::lock. A call hands
// out every part but the first (which the calling thread runs) by `next`;
// each worker takes the next one left whenever it wakes.
struct Workers {
    unsigned holders = 0;  // Lua states holding the workers
    unsigned count = 0;
    unsigned parked = 0;   // workers waiting for work
    os::Thread threads[kMost];
    bool stopping = false;
    bool in_use = false;   // a call has them
    PartFn part = nullptr;
    void* context = nullptr;
    unsigned parts = 0, next = 0, unfinished = 0;
} workers;

// The process that started the workers, 0 when there are none: read without
// the lock, which a worker may have held when the process forked.
std::atomic<long> workers_process{0};

// In the child of a fork: the workers, and their lock, are its parent's.
bool forked_from_workers() {
    const long process = workers_process.load(std::memory_order_relaxed);
    return process != 0 && process != os::process_id();
}

// Runs the call's parts left, one after the other, with the lock held
// between them; false when there was none.
bool run_parts_left() {
    bool ran = false;
    while (workers.next < workers.parts) {
        const unsigned k = workers.next++;
        const PartFn part = workers.part;
        void* const context = workers.context;
        os::unlock();
        part(context, k);
        os::lock();
        ran = true;
        if (--workers.unfinished == 0) os::wake_caller();
    }
    return ran;
}

void work(void*) {
    os::lock();
    while (!workers.stopping) {
        if (run_parts_left()) continue;
        workers.parked++;
        os::wait_for_work();
        workers.parked--;
    }
    os::unlock();
}

// run_parts on the workers; false (nothing run) when they are not to be had.
bool run_on_workers(unsigned parts, PartFn part, void* context) {
    if (forked_from_workers()) return false;
    os::lock();
    if (workers.holders == 0 || workers.stopping || workers.in_use) {
        os::unlock();
        return false;
    }
    workers.in_use = true;
    while (workers.count < parts - 1 && start(work, nullptr, &workers.threads[workers.count])) {
        if (workers.count++ == 0) workers_process.store(os::process_id(), std::memory_order_relaxed);
    }
    workers.part = part;
    workers.context = context;
    workers.parts = parts;
    workers.next = 1;
    workers.unfinished = parts - 1;
    os::wake_workers();
    os::unlock();
    part(context, 0);
    os::lock();
    run_parts_left();  // those no worker has taken yet
    while (workers.unfinished > 0) os::wait_for_done();
    workers.parts = 0;
    workers.in_use = false;
    os::unlock();
    return true;
}

struct Started {
    PartFn part;
    void* context;
    unsigned index;
};

void run_started(void* arg) {
    const Started* s = static_cast<const Started*>(arg);
    s->part(s->context, s->index);
}

// run_parts on threads started for this call and joined before it returns.
void run_on_own_threads(unsigned parts, PartFn part, void* context) {
    Started started[kMost];
    os::Thread ids[kMost];
    bool running[kMost] = {};
    for (unsigned k = 1; k < parts; k++) {
        started[k] = {part, context, k};
        running[k] = start(run_started, &started[k], &ids[k]);
    }
    part(context, 0);
    for (unsigned k = 1; k < parts; k++) {
        if (running[k]) {
            os::join(ids[k]);
        } else {
            part(context, k);
        }
    }
}

}  // namespace

void run_parts(unsigned parts, PartFn part, void* context) {
    // Threads beyond these few are not worth their start: callers plan fewer.
    if (parts > kMost) parts = kMost;
    if (parts == 0) return;
    if (parts == 1) return part(context, 0);
    if (!run_on_workers(parts, part, context)) run_on_own_threads(parts, part, context);
}

void hold_workers() {
    if (forked_from_workers()) return;
    os::lock();
    workers.holders++;
    os::unlock();
}

void release_workers() {
    if (forked_from_workers()) return;  // its parent's workers are not here to end
    os::lock();
    if (--workers.holders > 0 || workers.count == 0) {
        os::unlock();
        return;
    }
    const unsigned count = workers.count;
    workers.count = 0;
    workers_process.store(0, std::memory_order_relaxed);
    workers.stopping = true;
    os::wake_workers();
    os::unlock();
    for (unsigned k = 0; k < count; k++) os::join(workers.threads[k]);
    os::lock();
    workers.stopping = false;
    os::unlock();
}

void fail_thread_starts_for_test(bool fail) { fail_starts.store(fail); }

bool workers_parked_for_test() {
    os::lock();
    const bool parked = !workers.in_use && workers.parked == workers.count;
    os::unlock();
    return parked;
}

}  // namespace rururev::threads
