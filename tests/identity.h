// Proof of identity for the fast paths: a fast path must write exactly the
// words of its plain kernel, on every SIMD target compiled into the library,
// and so must the fast path with the frame split over threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/parallel.h"
#include "filters/filter_functions.h"

namespace identity {

// A filter over a buffer of w x h words with its parameters bound.
using Filter = std::function<void(uint32_t* data, uint32_t w, uint32_t h)>;

// One parameter set of one filter: its plain kernel, its fast path and its
// fast path over threads.
struct Case {
    std::string label;
    Filter reference;
    Filter fast;
    Filter threaded;
};

// A case from one call written once, in which d is the buffer and w and h
// its size: the call runs on the plain kernel, on the fast path and on the
// fast path over threads.
#define IDENTITY_CASE(call) \
    identity::Case { #call, RURUREV_EACH_PATH(call) }

// Runs the filters over every 24-bit colour, each with alpha 0, 1 and 255,
// in rows whose width is no multiple of any vector width: the fast path on
// each compiled target in turn, the threaded one on one block in eight (and
// the short last ones) cut into three uneven parts. Returns "" when every word agrees, else the first word
// that differs.
std::string every_colour(const Case& c);

// Runs the filters over short buffers (0 to 70 words, as one row) of mixed
// pixels on each target, and checks that the words just past the end of the
// buffer are never written; the fast path also runs with no pixels on a null
// buffer. The threaded path runs them, and frames of odd sizes, on 2, 3 and 7
// threads with parts as small as one word or row. Returns "" or the first
// difference.
std::string short_runs(const Case& c);

// Expects each case to pass every_colour (or, when every_colour is false,
// short_runs), naming the case that does not.
void expect_identical(const Case* cases, size_t n, bool every_colour);

template <size_t N>
void expect_identical(const Case (&cases)[N], bool every_colour) {
    expect_identical(cases, N, every_colour);
}

}  // namespace identity
