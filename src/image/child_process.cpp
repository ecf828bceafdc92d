#include "image/child_process.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "image/atomic_file.h"

namespace rururev::image {

namespace {

const volatile std::sig_atomic_t* interrupt_flag = nullptr;

// The children running now, for a signal handler or the end of the process
// to stop (0: a free slot). With every slot taken a child is not listed.
constexpr int child_slots = 16;
std::atomic<pid_t> listed_child[child_slots];
// Children between fork and listing, which stopping waits for; once
// stopping is set no child starts.
std::atomic<int> starting{0};
std::atomic<bool> stopping{false};

[[maybe_unused]] void list_child(pid_t pid) {
    for (std::atomic<pid_t>& slot : listed_child) {
        pid_t expected = 0;
        if (slot.compare_exchange_strong(expected, pid)) return;
    }
}

void unlist_child(pid_t pid) {
    for (std::atomic<pid_t>& slot : listed_child) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0)) return;
    }
}

// A process that ends by exit() (a script's os.exit, say) without closing
// what it opened still leaves no child and no temporary file: the static
// destructors of the program, or of the module, run then.
struct EndOfProcess {
    ~EndOfProcess() {
        stop_listed_children();
        atomic_remove_temporaries();
    }
} end_of_process;

}  // namespace

void end_process_now(int status) {
    stop_listed_children();
    _exit(status);
}

void stop_listed_children() {
    // A stop signal is held by a thread that is starting a child, but
    // another thread may take it: wait the moment until that child is listed.
    stopping = true;
    while (starting != 0) {
    }
    for (std::atomic<pid_t>& slot : listed_child) {
        const pid_t pid = slot.exchange(0);
        if (pid <= 0) continue;
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}


bool interrupted() { return interrupt_flag != nullptr && *interrupt_flag != 0; }

std::string find_program(const char* name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return "";
}

#if defined(__EMSCRIPTEN__)
// WebAssembly starts no programs (no video through ffmpeg in the playground).
bool spawn(const std::vector<std::string>& argv, int, int, Child&, std::string& error) {
    error = std::string("cannot start ") + argv[0] + ": no programs run here";
    return false;
}
#else
bool spawn(const std::vector<std::string>& argv, int in, int out, Child& child, std::string& error) {
    child.log = memfd_create("ffmpeg-stderr", MFD_CLOEXEC);
    const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (child.log < 0 || null_fd < 0) {
        error = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
        if (null_fd >= 0) ::close(null_fd);
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // Listing the child holds back the stop signals, whose handler stops
    // every listed child, so that no signal falls between fork and listing
    // in this thread; one taken by another thread waits for the listing.
    sigset_t held, old;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    sigaddset(&held, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &held, &old);
    ++starting;
    if (stopping) {
        --starting;
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        ::close(null_fd);
        error = std::string("cannot start ") + argv[0] + ": the program is stopping";
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        setpgid(0, 0);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        dup2(in >= 0 ? in : null_fd, 0);
        dup2(out >= 0 ? out : null_fd, 1);
        dup2(child.log, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    const int err = errno;
    if (pid > 0) list_child(pid);
    --starting;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ::close(null_fd);
    if (pid < 0) {
        error = std::string("cannot start ") + argv[0] + ": " + std::strerror(err);
        return false;
    }
    child.pid = pid;
    return true;
}
#endif

// The status of a child that waitpid no longer finds. A host that ignores
// SIGCHLD has the kernel reap every child at once: there how it ended can
// never be known, and is taken as success, as such a host expects (what the
// child wrote is checked apart). Elsewhere it was reaped by someone else.
static int reaped_elsewhere() {
    struct sigaction now {};
    const bool reaped_by_kernel = sigaction(SIGCHLD, nullptr, &now) == 0 &&
                                  (now.sa_handler == SIG_IGN || (now.sa_flags & SA_NOCLDWAIT) != 0);
    return reaped_by_kernel ? 0 : no_child;
}

int wait_child(Child& child) {
    // waitpid of -1 or 0 would reap any child of the host's.
    if (child.pid <= 0) return no_child;
    int status = 0;
    pid_t got;
    while ((got = waitpid(child.pid, &status, 0)) < 0 && errno == EINTR) {
        if (interrupted()) kill(child.pid, SIGKILL);
    }
    unlist_child(child.pid);
    child.pid = -1;
    if (got < 0) return reaped_elsewhere();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void kill_child(Child& child) {
    if (child.pid > 0) {
        kill(child.pid, SIGKILL);
        wait_child(child);
    }
}

// The last few lines the child wrote to stderr, on one line.
static std::string log_tail(const Child& child) {
    if (child.log < 0) return "";
    const off_t size = lseek(child.log, 0, SEEK_END);
    const off_t from = size > 2048 ? size - 2048 : 0;
    std::string text(static_cast<size_t>(size - from), '\0');
    const ssize_t got = pread(child.log, &text[0], text.size(), from);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    std::string tail;
    for (size_t k = lines.size() > 3 ? lines.size() - 3 : 0; k < lines.size(); ++k) {
        tail += (tail.empty() ? "" : " / ") + lines[k];
    }
    return tail;
}

void close_log(Child& child) {
    if (child.log >= 0) ::close(child.log);
    child.log = -1;
}

std::string ending(int status, const Child& child) {
    const std::string tail = log_tail(child);
    const std::string how = status == no_child ? "its exit status is unknown"
                            : status > 128     ? "killed by signal " + std::to_string(status - 128)
                                               : "exit status " + std::to_string(status);
    if (tail.empty()) return how;
    return status == 1 ? tail : tail + " (" + how + ")";
}

bool make_pipe(int fds[2], std::string& error, size_t room) {
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
#ifdef F_SETPIPE_SZ
    // 1 MiB is what an unprivileged process may ask for by default; a
    // refusal leaves the usual size, which works, only slower.
    if (room > 0) fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(std::min<size_t>(room, size_t{1} << 20)));
#endif
    return true;
}

bool run_capture(const std::vector<std::string>& argv, std::string& out, int& status, Child& child,
                 std::string& error) {
    int fds[2];
    if (!make_pipe(fds, error)) return false;
    const bool started = spawn(argv, -1, fds[1], child, error);
    ::close(fds[1]);
    if (started) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n > 0) {
                out.append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR || interrupted()) {
                break;
            }
        }
        if (interrupted()) kill(child.pid, SIGKILL);
        status = wait_child(child);
    }
    ::close(fds[0]);
    if (started && interrupted()) error = "interrupted";
    return started && !interrupted();
}

ssize_t read_full(int fd, unsigned char* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        if (interrupted()) return -1;
        const ssize_t n = ::read(fd, buffer + got, size - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR || interrupted()) {
            return -1;
        }
    }
    return static_cast<ssize_t>(got);
}

bool write_full(int fd, const unsigned char* bytes, size_t size, int& err) {
    sigset_t pipe_signal, old;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &old);
    bool ok = true;
    for (size_t done = 0; done < size;) {
        // A signal after part of the bytes makes write return that part.
        if (interrupted()) {
            err = EINTR;
            ok = false;
            break;
        }
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n >= 0) {
            done += static_cast<size_t>(n);
        } else if (errno != EINTR || interrupted()) {
            err = interrupted() ? EINTR : errno;
            ok = false;
            break;
        }
    }
    if (!ok && err == EPIPE && !sigismember(&old, SIGPIPE)) {
        const timespec now{0, 0};
        sigtimedwait(&pipe_signal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

void set_interrupt_flag(const volatile std::sig_atomic_t* flag) { interrupt_flag = flag; }

}  // namespace rururev::image
