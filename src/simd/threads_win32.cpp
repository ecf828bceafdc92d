// run_parts on the Win32 API: mingw-w64's win32 thread model has no
// std::thread, and the DLL must need nothing beyond the system's DLLs.
#if defined(_WIN32)
#include "simd/threads.h"

#include <windows.h>

#include <atomic>

namespace rururev::threads {
namespace {

std::atomic<bool> fail_starts{false};

struct Started {
    PartFn part;
    void* context;
    unsigned index;
};

DWORD WINAPI run_started(LPVOID arg) {
    const Started* s = static_cast<const Started*>(arg);
    s->part(s->context, s->index);
    return 0;
}

}  // namespace

void run_parts(unsigned parts, PartFn part, void* context) {
    constexpr unsigned kMost = 64;
    if (parts > kMost) parts = kMost;
    Started started[kMost];
    HANDLE ids[kMost] = {};
    for (unsigned k = 1; k < parts; k++) {
        started[k] = {part, context, k};
        if (!fail_starts.load(std::memory_order_relaxed)) {
            ids[k] = CreateThread(nullptr, 0, run_started, &started[k], 0, nullptr);
        }
    }
    if (parts > 0) part(context, 0);
    for (unsigned k = 1; k < parts; k++) {
        if (ids[k] != nullptr) {
            // Signalled once the thread has ended, after its detach
            // notifications: none of our code runs on it any more.
            WaitForSingleObject(ids[k], INFINITE);
            CloseHandle(ids[k]);
        } else {
            part(context, k);
        }
    }
}

unsigned hardware_threads() {
    // The processors of the process's group: all of them on machines of up
    // to 64, and a call that needs no newer Windows than XP.
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1u;
}

void fail_thread_starts_for_test(bool fail) { fail_starts.store(fail); }

}  // namespace rururev::threads
#endif  // _WIN32
