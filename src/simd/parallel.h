// The filters over several threads: rururev::parallel::X splits a large
// frame into parts, runs rururev::fast::X on each part at once (simd/threads.h)
// and writes exactly the words that one call of fast::X writes. The Lua
// bindings call these.
//
// How many threads: RURUREV_THREADS, read once, when it is a whole number
// from 1 (the calling thread alone) up; else the machine's hardware threads,
// at most kDefaultMost. A frame is split only into parts big enough to repay
// a thread's start, so small frames run on the calling thread alone.
#pragma once

#include <cstdint>

#include "simd/fast.h"

namespace rururev::parallel {

constexpr unsigned kDefaultMost = 8;
constexpr unsigned kMost = 64;

// The thread count a RURUREV_THREADS value asks for, or 0 when it asks for
// nothing (unset, empty, not a whole number, 0); at most kMost.
unsigned threads_value(const char* value);

// The thread count calls use.
unsigned thread_count();

// Tests and the benchmark: `threads` threads from now on, splitting frames
// of any size into parts of at least `min_words` words (1 splits every frame
// with more than one pixel). threads 0 goes back to the default plan.
void set_plan_for_test(unsigned threads, uint32_t min_words);

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

}  // namespace rururev::parallel

// The same call written once, as three functions over (d, w, h): on the
// plain kernels, on the fast paths, and on the fast paths over threads. For
// the tests that compare them and for the benchmark.
#define RURUREV_EACH_PATH(call)                       \
    [](uint32_t* d, uint32_t w, uint32_t h) {         \
        using namespace rururev::kernel;              \
        (void)w, (void)h;                             \
        call;                                         \
    },                                                \
    [](uint32_t* d, uint32_t w, uint32_t h) {         \
        using namespace rururev::fast;                \
        (void)w, (void)h;                             \
        call;                                         \
    },                                                \
    [](uint32_t* d, uint32_t w, uint32_t h) {         \
        using namespace rururev::parallel;            \
        (void)w, (void)h;                             \
        call;                                         \
    }
