// The frame store of tovoFrameCBA.
#include "region/frame_store.h"

#include <cstdlib>

namespace rururev {

// calloc checks count x 4 for overflow (on 32-bit hosts too) and hands back
// fresh zero pages without writing to them.
uint32_t* FrameStore::zeroed_block(uint32_t count) {
    return static_cast<uint32_t*>(std::calloc(count, sizeof(uint32_t)));
}

FrameStore::~FrameStore() { release(); }

bool FrameStore::fit(uint32_t count) {
    if (count == size_ && words_ != nullptr) return true;
    if (count == 0) {
        release();
        return true;
    }
    uint32_t* fresh = allocate_(count);
    if (fresh == nullptr) return false;
    std::free(words_);
    words_ = fresh;
    size_ = count;
    return true;
}

void FrameStore::release() {
    std::free(words_);
    words_ = nullptr;
    size_ = 0;
}

FrameStore& frame_store() {
    static FrameStore store;
    return store;
}

}  // namespace rururev
