// The threads of a call: the parts of a frame run at once, on workers kept
// between calls while a Lua state holds them (hold_workers when it loads the
// module, release_workers when it closes), else on threads started for the
// call. Either way every part has ended before run_parts returns, and every
// worker has ended before release_workers returns, so no code of ours runs
// once the last state is closed (the host may unload the module right
// after). POSIX threads on Linux, the Win32 API on Windows
// (threads_posix.cpp, threads_win32.cpp).
#pragma once

namespace rururev::threads {

// One part of a call's work. Must not throw: nothing crosses a thread.
using PartFn = void (*)(void* context, unsigned part);

// Runs part(context, k) for k in 0 to parts - 1: the first (k = 0) on the
// calling thread, the others on workers or threads started for them. A part
// that no thread could take runs on the calling thread after the first.
void run_parts(unsigned parts, PartFn part, void* context);

// A Lua state that loaded the module keeps the workers (started on the
// first call that needs them) until it releases them; the workers end, and
// are waited for, when the last state holding them releases them.
void hold_workers();
void release_workers();

// The processors this process may run on (1 when unknown).
unsigned hardware_threads();

// Tests: makes every thread start fail (true) or work again (false).
void fail_thread_starts_for_test(bool fail);
// Tests: true when no call has the workers and each of them waits for work,
// so that none is inside the C library (a fork then copies no held lock).
bool workers_parked_for_test();

}  // namespace rururev::threads
