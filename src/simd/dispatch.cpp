// RURUREV_PLAIN and RURUREV_TARGET, read once: debugging and comparison
// switches.
#include "simd/dispatch.h"

#include <cstdlib>
#include <cstring>

namespace rururev::fast {

bool plain_value(const char* value) {
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

bool plain_requested() {
    static const bool plain = [] {
        limit_targets(std::getenv("RURUREV_TARGET"));
        return plain_value(std::getenv("RURUREV_PLAIN"));
    }();
    return plain;
}

}  // namespace rururev::fast
