// Builds without SIMD support (no Highway): every fast path is its plain
// kernel.
#include "adjust/adjust.h"
#include "adjust/hsv_filters.h"
#include "adjust/tone_filters.h"
#include "curve/curve.h"
#include "region/region.h"
#include "simd/dispatch.h"
#include "simd/fast.h"

namespace rururev::fast {

void tovoRGB(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    kernel::tovoRGB(data, count, t0, t1, t2, t3);
}
void tovoRGB2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    kernel::tovoRGB2(data, count, t0, t1, t2, t3);
}
void tovoHSV(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    kernel::tovoHSV(data, count, t0, t1, t2, t3);
}
void tovoHSV2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint32_t t4, int32_t t5) {
    kernel::tovoHSV2(data, count, t0, t1, t2, t3, t4, t5);
}
void tovoNega(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    kernel::tovoNega(data, count, t0, t1, t2, t3);
}
void tovoHighShadow(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                    int32_t t3, int32_t cmax, int32_t cmin) {
    kernel::tovoHighShadow(data, count, t0, t1, t2, t3, cmax, cmin);
}
void tovoHighShadowDoder(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                         int32_t t3, int32_t cmax, int32_t cmin) {
    kernel::tovoHighShadowDoder(data, count, t0, t1, t2, t3, cmax, cmin);
}
void tovoMono(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              bool t4) {
    kernel::tovoMono(data, count, t0, t1, t2, t3, t4);
}
void tovo2Pns(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint8_t t4, int32_t t5, int32_t t6) {
    kernel::tovo2Pns(data, count, t0, t1, t2, t3, t4, t5, t6);
}
void tovoGanma(uint32_t* data, uint32_t count, float t0, int32_t t1, int32_t t2, int32_t t3) {
    kernel::tovoGanma(data, count, t0, t1, t2, t3);
}
GammaPowers::GammaPowers(float t0) : t0_(t0), slots_(nullptr), kept_(false) {}
GammaPowers::~GammaPowers() = default;
void GammaPowers::run(uint32_t* data, uint32_t count, int32_t t1, int32_t t2, int32_t t3) const {
    kernel::tovoGanma(data, count, t0_, t1, t2, t3);
}
void tovoNStage(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                bool chk0) {
    kernel::tovoNStage(data, count, t0, t1, t2, t3, chk0);
}
void tovoNStage2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                 bool chk0) {
    kernel::tovoNStage2(data, count, t0, t1, t2, t3, chk0);
}
void tovoRngPut(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc,
                uint8_t chk) {
    kernel::tovoRngPut(data, count, t0, t1, t2, oc, chk);
}
void tovoYCbCr(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc) {
    kernel::tovoYCbCr(data, count, t0, t1, t2, oc);
}
void tovoCSplt(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
               int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
    kernel::tovoCSplt(data, w, h, t0, t1, t2, t3, oc, x0, x1, y0, y1);
}
void tovoCTracking(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
                   int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
    kernel::tovoCTracking(data, w, h, t0, t1, t2, t3, oc, x0, x1, y0, y1);
}
void tovoFrameCBA(uint32_t* data, uint32_t count, uint32_t* sdata, int32_t t1, int32_t t2,
                  int32_t t3, int32_t nn, uint32_t oc, bool chk0) {
    kernel::tovoFrameCBA(data, count, sdata, t1, t2, t3, nn, oc, chk0);
}
void tovoInterRGB(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh) {
    kernel::tovoInterRGB(data, count, pointy, t2, t3, sh);
}
void tovoInterHSV(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh) {
    kernel::tovoInterHSV(data, count, pointy, t2, t3, sh);
}

// No SIMD targets: RURUREV_TARGET names none of them.
int64_t target_value(const char*) { return 0; }
void limit_targets(const char*) {}
const char* target_in_use() { return "plain"; }

}  // namespace rururev::fast
