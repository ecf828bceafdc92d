// Child processes for the video files: started from a full path with their
// stdin and stdout on our pipes and their stderr kept in memory, killed and
// waited for by whoever started them, so that none outlives its owner.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include <sys/types.h>

namespace rururev::image {

struct Child {
    int pid = -1;
    int log = -1;  // what it wrote to stderr
};

// While it points at a non-zero value, a read or write that a signal
// interrupts fails instead of being retried, and waiting kills the child.
// The program points it at the flag its signal handlers set.
void set_interrupt_flag(const volatile std::sig_atomic_t* flag);
bool interrupted();

// The full path of a program on PATH, or "" when there is none.
std::string find_program(const char* name);

// Starts argv[0] (a full path) with stdin from `in` and stdout to `out`
// (-1: /dev/null), in a process group of its own, so that a Ctrl-C on the
// terminal reaches only us and we stop it ourselves.
bool spawn(const std::vector<std::string>& argv, int in, int out, Child& child, std::string& error);

// Waits for the child: its exit status, or 128 + the signal that ended it;
// no_child, a failure, for a child never started, already waited for, or
// reaped elsewhere, whose end is not known (0 where the host ignores
// SIGCHLD, which has the kernel reap every child).
constexpr int no_child = -1;
int wait_child(Child& child);
void kill_child(Child& child);
void close_log(Child& child);

// Kills and waits for every child still running, also one another thread
// is starting, and starts none from then on. Async-signal-safe: the
// program's handlers of the stop signals call it before ending.
void stop_listed_children();

// Ends the process with `status` from any thread, while others may be
// working: no child is started from here on, and every child started is
// killed, also one that another thread is starting at this moment.
[[noreturn]] void end_process_now(int status);

// How a child ended, for messages: the last lines of its stderr on one line,
// with the status unless it is the usual failure status 1.
std::string ending(int status, const Child& child);

// A pipe whose ends are closed on exec; room asks for a larger buffer where
// the system allows (whole frames pass with fewer wake-ups of either side).
bool make_pipe(int fds[2], std::string& error, size_t room = 0);

// Runs a program to its end; what it wrote to stdout, and its status.
bool run_capture(const std::vector<std::string>& argv, std::string& out, int& status, Child& child,
                 std::string& error);

// Reads `size` bytes, fewer only at the end of the stream; -1 on failure.
ssize_t read_full(int fd, unsigned char* buffer, size_t size);

// Writes every byte. A reader that has gone away is an error (err EPIPE),
// never a SIGPIPE: the module runs in processes that do not ignore it.
bool write_full(int fd, const unsigned char* bytes, size_t size, int& err);

}  // namespace rururev::image
