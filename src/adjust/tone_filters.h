// Kernels of the tone filters: grey, threshold, random alpha, gamma,
// posterisation and the grey-level range key. Each rewrites count pixel
// words in place and changes each pixel from its own channels alone.
#pragma once

#include <cstdint>

namespace rururev::kernel {

// Grey by a weighted sum of red, green and blue, each first offset by t3 and
// the sum truncated. When t4 is true, t0..t2 shift the red, green and blue
// weights by that many 255ths. Transparent pixels and alpha are untouched.
void tovoMono(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              bool t4);

// Offsets red, green and blue by t0..t2 modulo 256, then sets each channel
// to t5 when it lies above the pixel's grey level less t3 (taken modulo
// 256), else to t6; t5 and t6 are clamped to 0..255. The grey level is the
// plain mean when t4 is 1, the weighted one otherwise. Alpha is untouched.
void tovo2Pns(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint8_t t4, int32_t t5, int32_t t6);

// Seeds rand() with t1, draws once per visible pixel in index order, and
// gives the pixel alpha 255 x t2 / 100 (modulo 256) when its draw, 0 to
// 100, is at least t0. Colours are untouched.
void tovoAlp0(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2);

// Raises the luma of every pixel, transparent ones included, to the power
// t0 on a 0..1 scale after offsetting red, green and blue by t1..t3; the
// colour differences are kept. Alpha is untouched.
void tovoGanma(uint32_t* data, uint32_t count, float t0, int32_t t1, int32_t t2, int32_t t3);

// Posterises to t0 steps (held to 1..255) after offsetting red, green and
// blue by t1..t3 modulo 256: each channel, or with chk0 the grey level
// written to all three, moves to the nearer end of its band.
void tovoNStage(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                bool chk0);

// As tovoNStage, and a pixel whose result falls to the lowest level (any
// channel in colour mode) becomes fully transparent.
void tovoNStage2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
                 bool chk0);

// Keys on the grey band t0..t0 + t1: visible pixels outside it get alpha 0.
// t2 of 0 (fill) includes the upper end and paints every visible pixel with
// the colour of oc; any other t2 (cut) excludes it and keeps colours. The
// grey level is weighted when chk is 0, the plain mean otherwise.
void tovoRngPut(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc,
                uint8_t chk);

}  // namespace rururev::kernel
