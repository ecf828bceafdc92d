// tovoGanma's memo of powers, shared by the parts of a frame that its
// threaded form runs at once (filters/threaded.cpp).
#pragma once

#include <cstdint>

namespace rururev::fast {

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

}  // namespace rururev::fast
