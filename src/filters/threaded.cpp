// The filters over several threads: each frame cut into parts as
// filters/filter_list.inc says (engine/split.h), a few parts per thread.
#include "engine/split.h"
#include "filters/fast.h"
#include "filters/filter_functions.h"

namespace rururev::parallel {
namespace {

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

}  // namespace

#define RURUREV_UNPACK(...) __VA_ARGS__
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) \
    void name params { split_##split<fast::name>(cost, RURUREV_UNPACK args); }
#include "filters/filter_list.inc"

}  // namespace rururev::parallel
