// What threads.cpp needs of the system: starting and waiting for a thread,
// and the one lock with its two conditions that guard the workers.
#pragma once

#if defined(_WIN32)
#else
#include <pthread.h>
#endif

namespace rururev::threads::os {

#if defined(_WIN32)
using Thread = void*;
#else
using Thread = pthread_t;
#endif

// Starts run(arg) on a new thread that takes no signals; false when it
// could not.
bool start(void (*run)(void*), void* arg, Thread* thread);
// Waits until the thread has ended, and lets go of it.
void join(Thread thread);

// The workers' lock, and the conditions of work to take and of a call's
// parts all done; waiting needs the lock.
void lock();
void unlock();
void wait_for_work();
void wake_workers();
void wait_for_done();
void wake_caller();

// The process this is (it changes in the child of a fork).
long process_id();

}  // namespace rururev::threads::os
