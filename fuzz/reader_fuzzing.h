// What the picture readers' fuzz targets share: arbitrary bytes handed to a
// reader as a file, with the size limit the program documents
// (rururev::image::max_pixels).
//
// The reader must either refuse the file with a message naming it, or give
// a size of 1 to max_pixels pixels and then fill exactly that many words, or
// refuse the rest of the file. The pixel block is allocated to the exact
// size, so a row written past its end is a sanitizer report; any other
// breach aborts with a description.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/raster.h"

namespace fuzzing {

[[noreturn]] inline void fail(const char* what, const char* detail) {
    fprintf(stderr, "\n*** %s: %s\n", what, detail);
    abort();
}

// One in-memory file for the whole run, rewritten for every input; the
// reader opens it by its /proc path like any other file.
struct MemoryFile {
    int fd;
    std::string path;

    MemoryFile() : fd(memfd_create("picture_fuzzer", 0)) {
        if (fd < 0) fail("memfd_create", std::strerror(errno));
        path = "/proc/self/fd/" + std::to_string(fd);
    }

    void hold(const uint8_t* data, size_t size) {
        if (ftruncate(fd, 0) != 0) fail("ftruncate", std::strerror(errno));
        for (size_t done = 0; done < size;) {
            const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) fail("pwrite", std::strerror(errno));
            done += static_cast<size_t>(n);
        }
    }
};

inline void expect_names_file(const char* error, const std::string& path) {
    const std::string prefix = "cannot load '" + path + "': ";
    if (std::strncmp(error, prefix.c_str(), prefix.size()) != 0 || error[prefix.size()] == '\0') {
        fail("an error that does not name the file and a reason", error);
    }
}

// Runs one input through a reader's open, read_pixels and close calls; a
// picture over most_decoded pixels is opened only.
template <typename Reader>
int read_picture(const uint8_t* data, size_t size,
                 Reader* (*open)(const char*, uint32_t*, uint32_t*, char*, size_t),
                 bool (*read_pixels)(Reader*, uint32_t*, char*, size_t), void (*close)(Reader*),
                 uint64_t most_claimed = rururev::image::max_pixels, uint64_t most_decoded = ~0ull) {
    static MemoryFile file;
    file.hold(data, size);

    char error[512] = "";
    uint32_t width = 0, height = 0;
    Reader* reader = open(file.path.c_str(), &width, &height, error, sizeof error);
    if (reader == nullptr) {
        expect_names_file(error, file.path);
        return 0;
    }
    const uint64_t count = uint64_t{width} * height;
    if (count == 0 || count > rururev::image::max_pixels || count > most_claimed) {
        fail("a size outside 1 to max_pixels or past what the file holds was accepted",
             std::to_string(count).c_str());
    }
    if (count > most_decoded) {
        close(reader);
        return 0;
    }
    // Exactly count words, left uninitialised: a picture at the limit costs
    // address space, not memory, until rows are written.
    auto* pixels = static_cast<uint32_t*>(std::malloc(count * sizeof(uint32_t)));
    if (pixels == nullptr) fail("malloc", "no memory for the pixels");
    error[0] = '\0';
    if (!read_pixels(reader, pixels, error, sizeof error)) expect_names_file(error, file.path);
    close(reader);
    std::free(pixels);
    return 0;
}

}  // namespace fuzzing
