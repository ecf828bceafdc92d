#include "image/raster.h"

#include <sys/stat.h>

namespace rururev::image {

bool can_hold(std::FILE* file, uint64_t least_bytes) {
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return true;
    return static_cast<uint64_t>(st.st_size) >= least_bytes;
}

void cannot(char* error, size_t size, const char* verb, const char* path, const char* reason) {
    std::snprintf(error, size, "cannot %s '%s': %s", verb, path, reason);
}

}  // namespace rururev::image
