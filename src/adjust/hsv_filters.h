// Kernels of the filters that work on a pixel's hue, saturation and value:
// each rewrites count pixel words in place and leaves pixels with alpha 0
// exactly as they are.
#pragma once

#include <cstdint>

namespace rururev::kernel {

// Adds t0 to the hue, t1 to the saturation and t2 to the value of every
// visible pixel through the double-precision HSV pair, and t3 to its alpha.
// A negative hue goes round the wheel (-10 and -370 act as 350).
void tovoHSV(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3);

// For visible pixels whose red, green and blue each lie within t5 of those of
// the colour word t4 (its alpha byte ignored): adds t3 to the three channels,
// then subtracts t0 from the hue, t1 from the saturation and t2 from the
// value through the 8-bit HSV pair. Alpha is kept.
void tovoHSV2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint32_t t4, int32_t t5);

// Toned monochrome negative: the grey level less t3 is reflected about the
// pivot t2 and coloured with hue 0 - t0 and saturation |t1|. Alpha is kept.
void tovoNega(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3);

// The HSV component that the highlight and shadow filters remap.
enum class Component { value, saturation };

// Maps the component x of every visible pixel linearly so that 255 lands on
// t0 and 0 on t1, adds t2, scales by t3 percent and bounds the result below
// by cmin, then above by cmax. Hue and the other component are kept.
void highlight_shadow(uint32_t* data, uint32_t count, Component x, int32_t t0, int32_t t1,
                      int32_t t2, int32_t t3, int32_t cmax, int32_t cmin);

inline void tovoHighShadow(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2,
                           int32_t t3, int32_t cmax, int32_t cmin) {
    highlight_shadow(data, count, Component::value, t0, t1, t2, t3, cmax, cmin);
}

inline void tovoHighShadowDoder(uint32_t* data, uint32_t count, int32_t t0, int32_t t1,
                                int32_t t2, int32_t t3, int32_t cmax, int32_t cmin) {
    highlight_shadow(data, count, Component::saturation, t0, t1, t2, t3, cmax, cmin);
}

}  // namespace rururev::kernel
