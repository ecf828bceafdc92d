// Threads that live for one call: the parts of a frame run at once, and
// every thread started is joined before run_parts returns, so no code of
// ours runs once a filter call is over (the host may close its Lua state and
// unload the module right after it). POSIX threads on Linux, the Win32 API
// on Windows (threads_posix.cpp, threads_win32.cpp).
#pragma once

namespace rururev::threads {

// One part of a call's work. Must not throw: nothing crosses a thread.
using PartFn = void (*)(void* context, unsigned part);

// Runs part(context, k) for k in 0 to parts - 1: the first (k = 0) on the
// calling thread, each other on a thread started for it. A part whose
// thread cannot be started runs on the calling thread instead, after the
// first.
void run_parts(unsigned parts, PartFn part, void* context);

// The processors this process may run on (1 when unknown).
unsigned hardware_threads();

// Tests: makes every thread start fail (true) or work again (false).
void fail_thread_starts_for_test(bool fail);

}  // namespace rururev::threads
