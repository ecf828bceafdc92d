#include "image/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rururev::image {

namespace {

// The temporary files that exist now, for a signal handler to remove. A slot
// is free (0), being filled (1) or listed (2); the handler reads only listed
// slots, so a path is complete before it is seen. With every slot taken a
// file is simply not listed.
constexpr int temp_slots = 16;
std::atomic<int> slot_state[temp_slots];
char slot_path[temp_slots][sizeof AtomicFile::temp_path];

int list_temporary(const char* path) {
    for (int k = 0; k < temp_slots; ++k) {
        int expected = 0;
        if (slot_state[k].compare_exchange_strong(expected, 1)) {
            std::strcpy(slot_path[k], path);
            slot_state[k].store(2);
            return k;
        }
    }
    return -1;
}

void unlist_temporary(AtomicFile* out) {
    if (out->slot >= 0) slot_state[out->slot].store(0);
    out->slot = -1;
}

// Creates the temporary file and lists it with SIGINT and SIGTERM held back,
// so that no signal falls between the two.
int create_listed_temporary(AtomicFile* out) {
    sigset_t held, old;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &old);
    const int fd = mkstemp(out->temp_path);
    if (fd >= 0) out->slot = list_temporary(out->temp_path);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return fd;
}

}  // namespace

void atomic_remove_temporaries() {
    for (int k = 0; k < temp_slots; ++k) {
        if (slot_state[k].load() == 2) unlink(slot_path[k]);
    }
}

static void set_error(char* error, size_t size, const char* what, int err) {
    std::snprintf(error, size, "%s: %s", what, std::strerror(err));
}

// The process's umask, read without setting it: setting it, even back at
// once, would give a file another thread of the host creates meanwhile the
// wrong mode. -1 when the kernel does not say (no /proc).
static int current_umask() {
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char text[4096];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    text[n > 0 ? n : 0] = '\0';
    const char* line = std::strstr(text, "\nUmask:\t");
    return line == nullptr ? -1 : static_cast<int>(std::strtol(line + 8, nullptr, 8)) & 0777;
}

// A new file gets the permissions any new file of the user would get, or,
// where the umask cannot be read, stays readable by its owner alone as
// mkstemp made it; a replaced file keeps its own.
static mode_t mode_for(const struct stat* existing) {
    if (existing != nullptr) return existing->st_mode & 07777;
    const int mask = current_umask();
    return mask < 0 ? 0600 : 0666 & ~static_cast<mode_t>(mask);
}

// A replaced file keeps its owner and group where the user may set them
// (root may; others may keep a group they belong to), then its mode.
static void keep_owner_and_mode(int fd, const struct stat* existing) {
    if (existing != nullptr && (existing->st_uid != geteuid() || existing->st_gid != getegid())) {
        if (fchown(fd, existing->st_uid, existing->st_gid) != 0 &&
            fchown(fd, static_cast<uid_t>(-1), existing->st_gid) != 0) {
            // The file becomes the user's: what writing it anew gives too.
        }
    }
    fchmod(fd, mode_for(existing));
}

bool atomic_check(const char* path, char* error, size_t error_size) {
    struct stat st;
    if (stat(path, &st) != 0) return true;  // a new file
    if (S_ISDIR(st.st_mode)) {
        std::snprintf(error, error_size, "%s", std::strerror(EISDIR));
        return false;
    }
    if (faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0) {
        std::snprintf(error, error_size, "%s", std::strerror(errno));
        return false;
    }
    return true;
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
    out->slot = -1;
    if (!atomic_check(path, error, error_size)) return false;
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
    if (exists && !S_ISREG(st.st_mode)) return open_direct(out, error, error_size);
    const int fd = create_listed_temporary(out);
    if (fd < 0 && errno == ENOENT) {
        // Only the folder can be missing: the temporary's name is new.
        const char* slash = std::strrchr(target, '/');
        const int length = slash == nullptr ? 1 : slash == target ? 1 : static_cast<int>(slash - target);
        std::snprintf(error, error_size, "the folder '%.*s' does not exist", length,
                      slash == nullptr ? "." : target);
        return false;
    }
    if (fd < 0) {
        set_error(error, error_size, "cannot create a temporary file", errno);
        return false;
    }
    keep_owner_and_mode(fd, exists ? &st : nullptr);
    out->file = fdopen(fd, "wb");
    if (out->file == nullptr) {
        set_error(error, error_size, "cannot open the temporary file", errno);
        close(fd);
        unlink(out->temp_path);
        unlist_temporary(out);
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
        unlist_temporary(out);
        return false;
    }
    if (!out->direct && std::rename(out->temp_path, out->final_path) != 0) {
        set_error(error, error_size, "cannot replace the file", errno);
        unlink(out->temp_path);
        unlist_temporary(out);
        return false;
    }
    unlist_temporary(out);
    return true;
}

void atomic_abort(AtomicFile* out) {
    if (out->file != nullptr) std::fclose(out->file);
    out->file = nullptr;
    if (!out->direct) unlink(out->temp_path);
    unlist_temporary(out);
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
