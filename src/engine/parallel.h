// The thread plan of the filters over several threads (rururev::parallel::X,
// declared in filters/filter_functions.h): each splits a large frame into
// parts (engine/split.h), runs rururev::fast::X on each part at once
// (engine/threads.h) and writes exactly the words that one call of fast::X
// writes. The Lua bindings call these.
//
// How many threads: RURUREV_THREADS, read once, when it is a whole number
// from 1 (the calling thread alone) up to threads::kMost; else the hardware
// threads the process may run on, at most kDefaultMost. A frame is split
// only into parts big enough to repay a thread's start, so small frames run
// on the calling thread alone.
#pragma once

#include <cstdint>

namespace rururev::parallel {

constexpr unsigned kDefaultMost = 8;

// The thread count a RURUREV_THREADS value asks for, or 0 when it asks for
// nothing (unset, empty, not a whole number, 0); at most threads::kMost.
unsigned threads_value(const char* value);

// The thread count calls use.
unsigned thread_count();

// Tests and the benchmark: `threads` threads from now on, splitting frames
// of any size into parts of at least `min_words` words (1 splits every frame
// with more than one pixel). threads 0 goes back to the default plan.
void set_plan_for_test(unsigned threads, uint32_t min_words);

}  // namespace rururev::parallel
