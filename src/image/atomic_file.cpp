#include "image/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace rururev::image {

static void set_error(char* error, size_t size, const char* what, int err) {
    std::snprintf(error, size, "%s: %s", what, std::strerror(err));
}

// A new file gets the permissions any new file of the user would get (mkstemp
// makes it readable by its owner alone); a replaced file keeps its own.
static mode_t mode_for(const struct stat* existing) {
    if (existing != nullptr) return existing->st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

static bool open_direct(AtomicFile* out, char* error, size_t error_size) {
    out->direct = true;
    out->file = std::fopen(out->final_path, "wb");
    if (out->file == nullptr) {
        set_error(error, error_size, "cannot open the file", errno);
        return false;
    }
    return true;
}

bool atomic_open(AtomicFile* out, const char* path, char* error, size_t error_size) {
    out->file = nullptr;
    out->direct = false;
    char resolved[PATH_MAX];
    struct stat st;
    const bool exists = stat(path, &st) == 0;
    const char* target = exists && realpath(path, resolved) != nullptr ? resolved : path;
    const int n = std::snprintf(out->temp_path, sizeof out->temp_path, "%s.tmp-XXXXXX", target);
    if (n < 0 || static_cast<size_t>(n) >= sizeof out->temp_path ||
        std::strlen(target) >= sizeof out->final_path) {
        std::snprintf(error, error_size, "path too long");
        return false;
    }
    std::strcpy(out->final_path, target);
    if (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return open_direct(out, error, error_size);
    const int fd = mkstemp(out->temp_path);
    if (fd < 0) {
        set_error(error, error_size, "cannot create a temporary file", errno);
        return false;
    }
    fchmod(fd, mode_for(exists ? &st : nullptr));
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
    bool ok = std::fflush(f) == 0 && !std::ferror(f) && (out->direct || fsync(fileno(f)) == 0);
    int err = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        set_error(error, error_size, "write failed", err);
        if (!out->direct) unlink(out->temp_path);
        return false;
    }
    if (!out->direct && std::rename(out->temp_path, out->final_path) != 0) {
        set_error(error, error_size, "cannot replace the file", errno);
        unlink(out->temp_path);
        return false;
    }
    return true;
}

void atomic_abort(AtomicFile* out) {
    if (out->file != nullptr) std::fclose(out->file);
    out->file = nullptr;
    if (!out->direct) unlink(out->temp_path);
}

bool atomic_write(const char* path, const void* data, size_t size, char* error, size_t error_size) {
    AtomicFile out;
    if (!atomic_open(&out, path, error, error_size)) return false;
    if (std::fwrite(data, 1, size, out.file) != size) {
        std::snprintf(error, error_size, "%s", std::strerror(errno));
        atomic_abort(&out);
        return false;
    }
    return atomic_commit(&out, error, error_size);
}

}  // namespace rururev::image
