// Writing a file so that a failure loses nothing: the data goes to a
// temporary file in the destination's folder, which replaces the destination
// by a rename only once every byte is written and synced. On failure the
// temporary file is removed and the destination is left as it was.
#pragma once

#include <cstddef>
#include <cstdio>

namespace rururev::image {

struct AtomicFile {
    FILE* file = nullptr;     // the temporary file, open for writing
    char temp_path[4096];     // its name: the destination's plus a random suffix
    char final_path[4096];
};

// Creates the temporary file beside `path`. On failure returns false with
// the reason in `error`.
bool atomic_open(AtomicFile* out, const char* path, char* error, size_t error_size);

// Flushes, syncs and closes the temporary file, then renames it over the
// destination. On failure removes it and returns false with the reason.
bool atomic_commit(AtomicFile* out, char* error, size_t error_size);

// Closes and removes the temporary file; the destination is untouched.
void atomic_abort(AtomicFile* out);

}  // namespace rururev::image
