// The filters over several threads: each frame cut into parts as
// filters/filter_list.inc says (engine/split.h), a few parts per thread.
#include "engine/split.h"
#include "filters/gamma_powers.h"
#include "filters/filter_functions.h"

namespace rururev::parallel {
namespace {

// Each part runs the fast path F on its own words with the call's other
// arguments.
template <auto F, class... Rest>
void split_words(uint32_t min_words, uint32_t* data, uint32_t count, Rest... rest) {
    for_words(count, min_words, [&](uint32_t b, uint32_t n) { F(data + b, n, rest...); });
}

// The parts share one memo of powers, which outlives the call when it is
// the kept one.
template <auto F>
void split_powers(uint32_t min_words, uint32_t* data, uint32_t count, float t0, int32_t t1,
                  int32_t t2, int32_t t3) {
    const unsigned parts = parts_for(count, min_words);
    if (parts <= 1) return F(data, count, t0, t1, t2, t3);
    const fast::GammaPowers powers(t0);
    for_parts(count, count, parts, kStep, [&](uint32_t b, uint32_t n) { powers.run(data + b, n, t1, t2, t3); });
}

// Whole rows, for the selections in a rectangle x0..x1, y0..y1: each part
// sees the rectangle's rows moved by its first row.
template <auto F>
void split_rows(uint32_t min_words, uint32_t* data, uint32_t w, uint32_t h, int32_t t0,
                int32_t t1, int32_t t2, int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1,
                uint32_t y0, uint32_t y1) {
    for_rows(min_words, w, h, [&](uint32_t row, uint32_t rows) {
        // Rows y0 to y1 of the frame, as rows of the part; 1 to 0 is none.
        uint32_t part_y0 = 1, part_y1 = 0;
        if (y1 >= row) {
            part_y0 = y0 > row ? y0 - row : 0;
            part_y1 = y1 - row;
        }
        F(data + size_t{row} * w, w, rows, t0, t1, t2, t3, oc, x0, x1, part_y0, part_y1);
    });
}

// Each part starts on the grid of spacing nn and compares and rewrites only
// its own pixels and store entries.
template <auto F>
void split_grid(uint32_t min_words, uint32_t* data, uint32_t count, uint32_t* sdata, int32_t t1,
                int32_t t2, int32_t t3, int32_t nn, uint32_t oc, bool chk0) {
    for_grid(min_words, count, static_cast<uint32_t>(nn), [&](uint32_t b, uint32_t n) {
        F(data + b, n, sdata + b, t1, t2, t3, nn, oc, chk0);
    });
}

}  // namespace

#define RURUREV_UNPACK(...) __VA_ARGS__
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) \
    void name params { split_##split<fast::name>(cost, RURUREV_UNPACK args); }
#include "filters/filter_list.inc"

}  // namespace rururev::parallel
