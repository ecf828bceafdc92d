// A pixel buffer of exactly `count` words between guard words: what a host
// hands a filter, with nothing to spare on either side.
#pragma once

#include <cstdint>
#include <vector>

namespace fuzz {

class GuardedBuffer {
public:
    // Fills the words from `seed` in one of a few styles (`style` picks
    // random words, all transparent, all opaque, or the extreme words).
    GuardedBuffer(uint32_t count, uint64_t seed, uint8_t style);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint32_t* words() { return block_.data() + kGuardWords; }
    uint32_t count() const { return count_; }

    // True while every guard word still holds its pattern.
    bool guards_intact();

    // True while the pixel words are those the buffer was filled with.
    bool unchanged() const;

private:
    // Four words on each side keep the pixels 16-byte aligned. Under
    // AddressSanitizer the guards are also poisoned, so that even a read
    // past either end is reported where it happens.
    static constexpr uint32_t kGuardWords = 4;
    static constexpr uint32_t kGuardPattern = 0xA5C3E1F7u;

    void poison_guards(bool on);

    uint32_t count_;
    std::vector<uint32_t> block_;
    std::vector<uint32_t> filled_;
};

}  // namespace fuzz
