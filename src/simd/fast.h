// The fast paths: rururev::fast::X writes exactly the words that the plain
// kernel rururev::kernel::X writes, with the same signature. The Lua
// bindings call these; tests compare them with the kernels.
#pragma once

#include <cstdint>

namespace rururev::fast {

void tovoRGB(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3);
void tovoRGB2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3);
void tovoHSV(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3);
void tovoHSV2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint32_t t4, int32_t t5);
void tovoNega(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3);
void tovoHighShadow(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                    int32_t t3, int32_t cmax, int32_t cmin);
void tovoHighShadowDoder(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                         int32_t t3, int32_t cmax, int32_t cmin);
void tovoMono(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              bool t4);
void tovo2Pns(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint8_t t4, int32_t t5, int32_t t6);
void tovoGanma(uint32_t* data, uint32_t count, float t0, int32_t t1, int32_t t2, int32_t t3);

// tovoGanma's memo of powers of one exponent t0, for the parts of one frame
// at once. It is the memo kept from call to call (its powers stay while
// calls keep the exponent) when no other call holds it, else one of this
// call's own.
class GammaPowers {
public:
    explicit GammaPowers(float t0);
    ~GammaPowers();
    GammaPowers(const GammaPowers&) = delete;
    GammaPowers& operator=(const GammaPowers&) = delete;

    // tovoGanma with exponent t0 over `count` words; parts of one frame may
    // run it on several threads at once.
    void run(uint32_t* data, uint32_t count, int32_t t1, int32_t t2, int32_t t3) const;

private:
    float t0_;
    void* slots_;  // null when no memo could be had: the plain kernel runs
    bool kept_;
};

void tovoNStage(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                bool chk0);
void tovoNStage2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                 bool chk0);
void tovoRngPut(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc,
                uint8_t chk);
void tovoYCbCr(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc);
void tovoCSplt(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
               int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1);
void tovoCTracking(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
                   int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1);
void tovoFrameCBA(uint32_t* data, uint32_t count, uint32_t* sdata, int32_t t1, int32_t t2,
                  int32_t t3, int32_t nn, uint32_t oc, bool chk0);
void tovoInterRGB(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh);
void tovoInterHSV(uint32_t* data, uint32_t count, const double* pointy, int32_t t2, int32_t t3,
                  int32_t sh);

}  // namespace rururev::fast
