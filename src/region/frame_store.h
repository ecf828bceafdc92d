// The previous frame kept by tovoFrameCBA between calls: one pixel word per
// pixel index, all 0 (empty) until a frame is stored. It is sized to the
// pixel count of the frame; a frame of another count empties it.
#pragma once

#include <cstdint>

namespace rururev {

class FrameStore {
public:
    // Returns a zero-filled block of `count` words that std::free releases,
    // or null when memory is short.
    using Allocator = uint32_t* (*)(uint32_t count);

    FrameStore() = default;
    ~FrameStore();
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    // Makes the store hold `count` words. The same count keeps what it holds;
    // another count swaps in a new block of zeros. Returns false, keeping the
    // old block, when the new one cannot be allocated.
    bool fit(uint32_t count);

    // Frees the words: the next fit starts from zeros whatever its count.
    void release();

    uint32_t* words() const { return words_; }
    uint32_t size() const { return size_; }

    // Replaces the allocator, so that tests can make allocation fail.
    void set_allocator(Allocator allocate) { allocate_ = allocate; }
    static uint32_t* zeroed_block(uint32_t count);

private:
    uint32_t* words_ = nullptr;
    uint32_t size_ = 0;
    Allocator allocate_ = zeroed_block;
};

// The store every tovoFrameCBA call of the process shares. It lives until
// the library is unloaded.
FrameStore& frame_store();

}  // namespace rururev
