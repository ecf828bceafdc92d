// The whole-number HSV round trip with one component moved by a table.
#include "simd/hsv_whole.h"

#include <cmath>

#include "simd/target_call.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "simd/hsv_whole_fast.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "simd/hsv_whole-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {

static_assert(kWholeHues == whole_hue_limit, "one hue limit for the steps and their callers");
static_assert(kSaturationSteps == saturation_steps, "one saturation step for the steps and their callers");

void WholeMovedWords(uint32_t* HWY_RESTRICT data, size_t count, const int32_t* HWY_RESTRICT moved,
                     Moved which) {
    switch (which) {
        case Moved::hue: return WholeRoundTripWords<0>(data, count, moved, nullptr);
        case Moved::saturation: return WholeRoundTripWords<1>(data, count, moved, nullptr);
        case Moved::value: return WholeRoundTripWords<2>(data, count, moved, nullptr);
        default: return WholeRoundTripWords<3>(data, count, moved, nullptr);
    }
}

void HueTableWords(uint32_t* HWY_RESTRICT data, size_t count, const int32_t* HWY_RESTRICT sectors,
                   const double* HWY_RESTRICT fractions) {
    WholeRoundTripWords<4>(data, count, sectors, fractions);
}

void HundredthsValueWords(uint32_t* HWY_RESTRICT data, size_t count, const int32_t* HWY_RESTRICT packed,
                          const double* HWY_RESTRICT values) {
    WholeRoundTripWords<5>(data, count, packed, values);
}

void SteppedSaturationWords(uint32_t* HWY_RESTRICT data, size_t count, const int32_t* HWY_RESTRICT packed,
                            const double* HWY_RESTRICT fractions) {
    WholeRoundTripWords<6>(data, count, packed, fractions);
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rururev::simd {
HWY_EXPORT(WholeMovedWords);
HWY_EXPORT(HueTableWords);
HWY_EXPORT(HundredthsValueWords);
HWY_EXPORT(SteppedSaturationWords);

void whole_moved(uint32_t* data, size_t count, const int32_t* moved, Moved which) {
    RURUREV_DISPATCH(WholeMovedWords)(data, count, moved, which);
}

void hue_table_moved(uint32_t* data, size_t count, const int32_t* sectors, const double* fractions) {
    RURUREV_DISPATCH(HueTableWords)(data, count, sectors, fractions);
}

void hundredths_value_moved(uint32_t* data, size_t count, const int32_t* packed, const double* values) {
    RURUREV_DISPATCH(HundredthsValueWords)(data, count, packed, values);
}

void saturation_moved(uint32_t* data, size_t count, const double* moved) {
    // Each moved saturation above 0 as the step below it (scaling by a power
    // of two is exact), one step up at most; 0 as itself.
    int32_t packed[256];
    double fractions[256];
    for (int level = 0; level < 256; level++) {
        const double scaled = moved[level] * saturation_steps;
        packed[level] = scaled > 0 ? (static_cast<int32_t>(std::ceil(scaled)) - 1) | ~0xFFFF : 0;
        fractions[level] = moved[level] / 255.0;
    }
    RURUREV_DISPATCH(SteppedSaturationWords)(data, count, packed, fractions);
}
}  // namespace rururev::simd
#endif  // HWY_ONCE
