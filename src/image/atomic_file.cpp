#include "image/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace rururev::image {

static void set_error(char* error, size_t size, const char* what, int err) {
    std::snprintf(error, size, "%s: %s", what, std::strerror(err));
}

// mkstemp creates files readable by their owner alone; a saved picture gets
// the permissions any new file of the user would get.
static mode_t new_file_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool atomic_open(AtomicFile* out, const char* path, char* error, size_t error_size) {
    out->file = nullptr;
    const int n = std::snprintf(out->temp_path, sizeof out->temp_path, "%s.tmp-XXXXXX", path);
    if (n < 0 || static_cast<size_t>(n) >= sizeof out->temp_path ||
        std::strlen(path) >= sizeof out->final_path) {
        std::snprintf(error, error_size, "path too long");
        return false;
    }
    std::strcpy(out->final_path, path);
    const int fd = mkstemp(out->temp_path);
    if (fd < 0) {
        set_error(error, error_size, "cannot create a temporary file", errno);
        return false;
    }
    fchmod(fd, new_file_mode());
    out->file = fdopen(fd, "wb");
    if (out->file == nullptr) {
        set_error(error, error_size, "cannot open the temporary file", errno);
        close(fd);
        unlink(out->temp_path);
        return false;
    }
    return true;
}

bool atomic_commit(AtomicFile* out, char* error, size_t error_size) {
    FILE* f = out->file;
    out->file = nullptr;
    bool ok = std::fflush(f) == 0 && !std::ferror(f) && fsync(fileno(f)) == 0;
    int err = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        set_error(error, error_size, "write failed", err);
        unlink(out->temp_path);
        return false;
    }
    if (std::rename(out->temp_path, out->final_path) != 0) {
        set_error(error, error_size, "cannot replace the file", errno);
        unlink(out->temp_path);
        return false;
    }
    return true;
}

void atomic_abort(AtomicFile* out) {
    if (out->file != nullptr) std::fclose(out->file);
    out->file = nullptr;
    unlink(out->temp_path);
}

}  // namespace rururev::image
