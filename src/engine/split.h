// The generic splits of a frame into parts that run at once on the
// module's threads (engine/threads.h): runs of whole words, whole rows, or
// runs that start on a grid. filters/threaded.cpp applies them to each
// filter as filters/filter_list.inc says, giving each part its arguments.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <numeric>

#include "engine/parallel.h"
#include "engine/threads.h"

namespace rururev::parallel {

// The fewest words a thread gets, below which its start and its wait for a
// core (10 microseconds and more) cost more than it saves; measured on 2
// cores shared with other work. Filters differ tenfold in work per pixel.
inline constexpr uint32_t kHeavy = 16384;   // 1.5 ns a pixel or more: HSV round trips, selections, gamma
inline constexpr uint32_t kLight = 65536;   // sums and comparisons on every pixel
inline constexpr uint32_t kTable = 262144;  // a byte-table look-up a channel: 0.1 to 0.3 ns a pixel

// Parts start on multiples of this many words: whole vector groups, and
// threads that share no cache line when the buffer is aligned.
inline constexpr uint64_t kStep = 64;

// How many parts `words` words of a filter are worth, for a filter that
// needs min_words words a thread.
unsigned parts_for(uint64_t words, uint32_t min_words);

// Runs body(begin, n) over units 0 to `units` (`words` words) on `threads`
// threads. The units are cut into a few runs per thread, each starting on a
// multiple of `step` units and long enough to repay its call (and the
// tables some fast paths make for it). The threads take runs as they come
// free, so that a thread that starts late or is kept waiting by other work
// does fewer: the calling thread from the end, the others from the start.
// Empty runs are left out.
template <class Body>
inline void for_parts(uint32_t units, uint64_t words, unsigned threads, uint64_t step, const Body& body) {
    constexpr uint64_t kRunsPerThread = 2, kRunWords = 32768;
    const uint64_t most = units / step;
    threads = static_cast<unsigned>(std::min<uint64_t>(threads, most));
    if (threads <= 1) return body(0, units);
    struct Job {
        const Body* body;
        uint32_t units;
        unsigned runs;
        uint64_t step;
        // The runs not taken yet: from `front` (low half) up to `back`.
        std::atomic<uint64_t> left;
        uint32_t start(unsigned k) const {
            if (k >= runs) return units;
            const uint64_t even = uint64_t{units} * k / runs;
            return static_cast<uint32_t>(even - even % step);
        }
        // The next run from the back (for the calling thread, which most
        // likely has the end of the frame in its cache, having just written
        // it) or from the front; false when none is left.
        bool take(bool from_back, unsigned* k) {
            uint64_t now = left.load(std::memory_order_relaxed);
            for (;;) {
                const uint32_t front = static_cast<uint32_t>(now), back = static_cast<uint32_t>(now >> 32);
                if (front >= back) return false;
                const uint64_t next = from_back ? uint64_t{back - 1} << 32 | front
                                                : uint64_t{back} << 32 | (front + 1);
                if (left.compare_exchange_weak(now, next, std::memory_order_relaxed)) {
                    *k = from_back ? back - 1 : front;
                    return true;
                }
            }
        }
    };
    const uint64_t runs = std::max<uint64_t>(std::min({threads * kRunsPerThread, most, words / kRunWords}), threads);
    Job job{&body, units, static_cast<unsigned>(runs), step, {runs << 32}};
    threads::run_parts(threads, [](void* context, unsigned part) {
        Job& j = *static_cast<Job*>(context);
        for (unsigned k; j.take(part == 0, &k);) {
            const uint32_t begin = j.start(k), end = j.start(k + 1);
            if (end > begin) (*j.body)(begin, end - begin);
        }
    }, &job);
}

template <class Body>
inline void for_words(uint32_t count, uint32_t min_words, const Body& body) {
    for_parts(count, count, parts_for(count, min_words), kStep, body);
}

// Whole rows of a w x h frame: body(first row, rows). A w x h that wraps
// past 2^32 words (a kernel counts modulo 2^32) runs as one part.
template <class Body>
void for_rows(uint32_t min_words, uint32_t w, uint32_t h, const Body& body) {
    const uint64_t words = uint64_t{w} * h;
    if (words > UINT32_MAX || w == 0) return body(0, h);
    for_parts(h, words, parts_for(words, min_words), (kStep + w - 1) / w, body);
}

// Runs of `count` words that each start on a grid of `spacing` words (0: no
// grid), so that a part that keeps to its own words sees the grid as a whole
// call does.
template <class Body>
void for_grid(uint32_t min_words, uint32_t count, uint32_t spacing, const Body& body) {
    const uint64_t step = spacing == 0 ? kStep : std::lcm(kStep, uint64_t{spacing});
    for_parts(count, count, parts_for(count, min_words), step, body);
}

}  // namespace rururev::parallel
