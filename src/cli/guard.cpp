#include "cli/guard.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include "image/atomic_file.h"
#include "image/child_process.h"

namespace rururev::cli {

namespace {

bool closed_at_start[3];

void on_stop_signal(int signal_number) {
    image::stop_listed_children();
    image::atomic_remove_temporaries();
    std::signal(signal_number, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal_number);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal_number);
    _exit(128 + signal_number);  // only if the default action did not end us
}

void catch_signal(int signal_number) {
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
}

void catch_unless_ignored(int signal_number) {
    struct sigaction current;
    if (sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
    catch_signal(signal_number);
}

}  // namespace

void guard_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        closed_at_start[fd] = true;
        // The lowest free descriptor is this one.
        if (open("/dev/null", O_RDWR) != fd) _exit(1);
    }
}

bool was_closed_at_start(int fd) { return fd >= 0 && fd <= 2 && closed_at_start[fd]; }

void hold_stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

void remove_temporaries_on_signals(bool on_pipe) {
    catch_unless_ignored(SIGINT);
    catch_unless_ignored(SIGTERM);
    catch_unless_ignored(SIGHUP);  // a closed terminal
    if (on_pipe) {
        // A closed stdout ends a script that prints, as it ends any filter
        // in a pipeline.
        catch_signal(SIGPIPE);
    } else {
        // A closed pipe is reported as a write error instead of ending the
        // program silently.
        std::signal(SIGPIPE, SIG_IGN);
    }
}

}  // namespace rururev::cli
