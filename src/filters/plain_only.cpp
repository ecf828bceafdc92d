// Builds without SIMD support (no Highway): every fast path is its plain
// kernel.
#include "filters/filter_functions.h"
#include "engine/dispatch.h"
#include "filters/gamma_powers.h"

namespace rururev::fast {

#define RURUREV_UNPACK(...) __VA_ARGS__
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) \
    void name params { kernel::name(RURUREV_UNPACK args); }
#include "filters/filter_list.inc"

GammaPowers::GammaPowers(float t0) : t0_(t0), slots_(nullptr), kept_(false) {}
GammaPowers::~GammaPowers() = default;
void GammaPowers::run(uint32_t* data, uint32_t count, int32_t t1, int32_t t2, int32_t t3) const {
    kernel::tovoGanma(data, count, t0_, t1, t2, t3);
}

// No SIMD targets: RURUREV_TARGET names none of them.
int64_t target_value(const char*) { return 0; }
void limit_targets(const char*) {}
const char* target_in_use() { return "plain"; }

}  // namespace rururev::fast
