// Writing a file so that a failure loses nothing: the data goes to a
// temporary file in the destination's folder, which replaces the destination
// by a rename only once every byte is written and synced. On failure the
// temporary file is removed and the destination is left as it was.
//
// A destination that is a symbolic link is followed: the file it points to
// is replaced and the link stays. A destination that exists and is neither
// a regular file nor a folder (a pipe, a terminal, /dev/null) cannot be
// replaced by a rename and is written directly. A destination that is a
// folder, or that the user may not write (as the shell's > would refuse),
// is refused. A replaced file keeps its mode, and its owner and group where
// the user may set them.
//
// Every temporary file is listed while it exists, so that a signal handler
// can remove them all (atomic_remove_temporaries) before the program ends.
#pragma once

#include <cstddef>
#include <cstdio>

namespace rururev::image {

struct AtomicFile {
    FILE* file = nullptr;     // open for writing: the temporary file, or the destination
    bool direct = false;      // writing straight to the destination
    char temp_path[4096];     // the temporary file: the destination's name plus a suffix
    char final_path[4096];    // the destination, links followed
    int slot = -1;            // where temp_path is listed for signal handlers
};

// False with the reason when `path` could not be replaced: it is a folder,
// or it exists and the user may not write it.
bool atomic_check(const char* path, char* error, size_t error_size);

// Opens the temporary file beside `path` (or `path` itself when it is written
// directly). On failure returns false with the reason in `error`.
bool atomic_open(AtomicFile* out, const char* path, char* error, size_t error_size);

// Flushes, syncs and closes the temporary file, then renames it over the
// destination. On failure removes it and returns false with the reason.
bool atomic_commit(AtomicFile* out, char* error, size_t error_size);

// Closes and removes the temporary file; the destination is untouched.
void atomic_abort(AtomicFile* out);

// Removes every temporary file still open. Async-signal-safe.
void atomic_remove_temporaries();

// Writes `size` bytes as the whole new content of `path`, through the three
// calls above.
bool atomic_write(const char* path, const void* data, size_t size, char* error, size_t error_size);

}  // namespace rururev::image
