// The threads of a call on the Win32 API: mingw-w64's win32 thread model
// has no std::thread, and the DLL must need nothing beyond the system's DLLs.
#if defined(_WIN32)
#include <windows.h>

#include <new>

#include "simd/threads.h"
#include "simd/threads_os.h"

namespace rururev::threads {
namespace os {
namespace {

SRWLOCK workers_lock = SRWLOCK_INIT;
CONDITION_VARIABLE work_ready = CONDITION_VARIABLE_INIT;
CONDITION_VARIABLE parts_done = CONDITION_VARIABLE_INIT;

struct Start {
    void (*run)(void*);
    void* arg;
};

DWORD WINAPI run_started(LPVOID arg) {
    const Start start = *static_cast<Start*>(arg);
    delete static_cast<Start*>(arg);
    start.run(start.arg);
    return 0;
}

}  // namespace

bool start(void (*run)(void*), void* arg, Thread* thread) {
    Start* s = new (std::nothrow) Start{run, arg};
    if (s == nullptr) return false;
    *thread = CreateThread(nullptr, 0, run_started, s, 0, nullptr);
    if (*thread == nullptr) delete s;
    return *thread != nullptr;
}

void join(Thread thread) {
    // Signalled once the thread has ended, after its detach notifications:
    // none of our code runs on it any more.
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void lock() { AcquireSRWLockExclusive(&workers_lock); }
void unlock() { ReleaseSRWLockExclusive(&workers_lock); }
void wait_for_work() { SleepConditionVariableSRW(&work_ready, &workers_lock, INFINITE, 0); }
void wake_workers() { WakeAllConditionVariable(&work_ready); }
void wait_for_done() { SleepConditionVariableSRW(&parts_done, &workers_lock, INFINITE, 0); }
void wake_caller() { WakeConditionVariable(&parts_done); }

long process_id() { return 0; }  // no fork

}  // namespace os

unsigned hardware_threads() {
    // The processors of the process's group: all of them on machines of up
    // to 64.
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1u;
}

}  // namespace rururev::threads
#endif  // _WIN32
