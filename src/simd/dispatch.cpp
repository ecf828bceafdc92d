// RURUREV_PLAIN, read once: a debugging and comparison switch.
#include "simd/dispatch.h"

#include <cstdlib>
#include <cstring>

namespace rururev::fast {

bool plain_value(const char* value) {
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

bool plain_requested() {
    static const bool plain = plain_value(std::getenv("RURUREV_PLAIN"));
    return plain;
}

}  // namespace rururev::fast
