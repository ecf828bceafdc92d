// Builds without SIMD support (no Highway): every fast path is its plain
// kernel.
#include "adjust/adjust.h"
#include "curve/curve.h"
#include "simd/fast.h"

namespace rururev::fast {

void tovoRGB(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    kernel::tovoRGB(data, count, t0, t1, t2, t3);
}
void tovoRGB2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    kernel::tovoRGB2(data, count, t0, t1, t2, t3);
}
void tovoInterRGB(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh) {
    kernel::tovoInterRGB(data, count, pointy, t2, t3, sh);
}
void tovoInterHSV(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh) {
    kernel::tovoInterHSV(data, count, pointy, t2, t3, sh);
}

}  // namespace rururev::fast
