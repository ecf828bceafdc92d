// What the program sets up before anything else, so that it keeps its
// promises whatever state it is started in and however it is stopped.
#pragma once

namespace rururev::cli {

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file the program opens becomes its stdin, stdout or stderr.
void guard_standard_descriptors();

// True when descriptor `fd` (0, 1 or 2) was closed when the program started.
bool was_closed_at_start(int fd);

// Blocks SIGINT and SIGTERM in the calling thread and every thread it
// starts, for a program that reads them from a descriptor (the preview):
// called first in main, so that no stop request can come before it is
// ready and be lost or end it half-way.
void hold_stop_signals();

// On SIGINT, SIGTERM and SIGHUP (and SIGPIPE when `on_pipe` is set) stops
// the children still running and removes the temporary files being written,
// then ends by the signal, so that a shell sees status 130, 143, 129 (or
// 141). A signal ignored at start stays ignored.
void remove_temporaries_on_signals(bool on_pipe);

}  // namespace rururev::cli
