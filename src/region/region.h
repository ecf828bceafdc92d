// Kernels of the colour-key and region filters: they select pixels by a
// reference colour, a tolerance and a rectangle, or by how far each pixel
// moved since the previous frame.
#pragma once

#include <cstdint>

namespace rururev::kernel {

// Keeps the visible pixels whose Y, Cb and Cr lie within t0, t1 and t2 of
// those of the reference colour oc (inclusive bounds, alpha byte of oc
// ignored) and gives every other visible pixel alpha 0, colour kept. Pixels
// with alpha 0 are left as they are.
void tovoYCbCr(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, uint32_t oc);

// Both filters select the visible pixels inside the rectangle x0..x1, y0..y1
// (inclusive, in columns and rows of a w-wide image) whose 8-bit hue,
// saturation and value lie within t0, t1 and t2 of those of oc. A selected
// pixel has its saturation shifted by t3 (clamped to 0 to 255) and goes back
// through the 8-bit conversion; alpha is kept. Hue windows do not wrap
// around 0/360. Pixels with alpha 0 are left as they are.
//
// tovoCSplt turns every other visible pixel into its grey level.
void tovoCSplt(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
               int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1);

// tovoCTracking gives every other visible pixel alpha 0, colour kept.
void tovoCTracking(uint32_t* data, uint32_t w, uint32_t h, int32_t t0, int32_t t1, int32_t t2,
                   int32_t t3, uint32_t oc, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1);

// Compares each pixel on the grid (index i with i modulo nn equal to 0, nn
// taken as unsigned; nn of 0 puts no pixel on the grid) with the same index
// of the previous frame in sdata. A grid pixel whose Y, Cb and Cr moved out of
// the windows t1, t2, t3 is painted the colour of oc; an unchanged one is
// painted cyan when chk0 is set. Alpha is kept, transparent pixels included.
// sdata holds count words: an entry of 0 is empty and taken from the current
// pixel, and every entry is left holding the word written to data.
void tovoFrameCBA(uint32_t* data, uint32_t count, uint32_t* sdata, int32_t t1, int32_t t2,
                  int32_t t3, int32_t nn, uint32_t oc, bool chk0);

}  // namespace rururev::kernel
