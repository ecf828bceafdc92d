#include "guarded_buffer.h"

#include <algorithm>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RURUREV_FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define RURUREV_FUZZ_ASAN 1
#endif
#if defined(RURUREV_FUZZ_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace fuzz {

namespace {

uint64_t splitmix64(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

const uint32_t kExtremeWords[] = {0x00000000u, 0xFFFFFFFFu, 0xFF000000u, 0x00FFFFFFu,
                                  0x01000000u, 0x80808080u, 0xFF0000FFu, 0x7F010203u};

uint32_t word_for(uint64_t& state, uint8_t style) {
    const uint32_t r = static_cast<uint32_t>(splitmix64(state));
    switch (style % 4) {
        case 0: return r;                                        // anything
        case 1: return r & 0x00FFFFFFu;                          // transparent
        case 2: return r | 0xFF000000u;                          // opaque
        default: return kExtremeWords[r % std::size(kExtremeWords)];
    }
}

}  // namespace

GuardedBuffer::GuardedBuffer(uint32_t count, uint64_t seed, uint8_t style)
    : count_(count), block_(count + 2 * kGuardWords, kGuardPattern) {
    uint64_t state = seed;
    for (uint32_t i = 0; i < count; i++) words()[i] = word_for(state, style);
    filled_.assign(words(), words() + count);
    poison_guards(true);
}

GuardedBuffer::~GuardedBuffer() { poison_guards(false); }

void GuardedBuffer::poison_guards(bool on) {
#if defined(RURUREV_FUZZ_ASAN)
    const size_t bytes = kGuardWords * sizeof(uint32_t);
    uint32_t* const ends[] = {block_.data(), words() + count_};
    for (uint32_t* guard : ends) {
        if (on) {
            ASAN_POISON_MEMORY_REGION(guard, bytes);
        } else {
            ASAN_UNPOISON_MEMORY_REGION(guard, bytes);
        }
    }
#else
    (void)on;
#endif
}

bool GuardedBuffer::guards_intact() {
    poison_guards(false);
    const auto is_pattern = [](uint32_t w) { return w == kGuardPattern; };
    const bool intact = std::all_of(block_.begin(), block_.begin() + kGuardWords, is_pattern) &&
                        std::all_of(block_.end() - kGuardWords, block_.end(), is_pattern);
    poison_guards(true);
    return intact;
}

bool GuardedBuffer::unchanged() const {
    return std::equal(filled_.begin(), filled_.end(), block_.begin() + kGuardWords);
}

}  // namespace fuzz
