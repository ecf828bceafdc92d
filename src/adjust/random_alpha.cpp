// Random alpha: a caller-seeded share of the visible pixels gets a new alpha.
#include <cstdlib>

#include "filters/filter_functions.h"
#include "core/pixel.h"

namespace rururev::kernel {

void tovoAlp0(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2) {
    // 255 x t2 percent, computed wide and kept to its low 8 bits: 101 gives
    // 257, written as 1; -1 gives -2, written as 254.
    const int64_t percent = int64_t{255} * t2 / 100;
    const uint32_t a = static_cast<uint32_t>(static_cast<uint64_t>(percent) & 255u);
    // The C library's generator, so a script sees the sequence its platform
    // gives for the seed; it is left where the last draw ends.
    std::srand(static_cast<unsigned>(t1));
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (alpha_of(word) == 0) continue;  // draws nothing
        const int32_t n = std::rand() % 10001 / 100;
        if (n >= t0) data[i] = pack(a, red_of(word), green_of(word), blue_of(word));
    }
}

}  // namespace rururev::kernel
