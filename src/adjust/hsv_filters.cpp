// HSV adjustment. tovoHSV shifts every visible pixel through the
// double-precision pair; tovoHSV2 shifts only colours near a reference colour
// through the 8-bit pair, with the opposite sign.
#include "adjust/hsv_filters.h"
#include "adjust/last_colour.h"
#include "core/pixel.h"

namespace rururev::kernel {

// Puts a negative hue back on the wheel, 0 to 359: -10 and -370 both become
// 350. Hues of 360 and more are left to HSV2RGB, which wraps them by sector;
// a negative one would select no sector there and leave the pixel unwritten.
static int64_t hue_on_wheel(int64_t hue) {
    return hue < 0 ? (hue % 360 + 360) % 360 : hue;
}

// RGB2HSV gives whole numbers, so the shifted components are whole too and
// are summed as wide integers: no rounding, no overflow.
static uint32_t shift_hsv(uint32_t rgb, int32_t t0, int32_t t1, int32_t t2) {
    double H, S, V;
    RGB2HSV(static_cast<int>(red_of(rgb)), static_cast<int>(green_of(rgb)),
            static_cast<int>(blue_of(rgb)), &H, &S, &V);
    const int64_t hue = hue_on_wheel(static_cast<int64_t>(H) + t0);
    const uint32_t saturation = clamp255(static_cast<int64_t>(S) + t1);
    const uint32_t value = clamp255(static_cast<int64_t>(V) + t2);
    int r = 0, g = 0, b = 0;
    HSV2RGB(static_cast<double>(hue), saturation, value, &r, &g, &b);
    return pack(0, clamp255(r), clamp255(g), clamp255(b));
}

void tovoHSV(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    LastColour shifted([=](uint32_t rgb) { return shift_hsv(rgb, t0, t1, t2); });
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (alpha_of(word) == 0) continue;
        data[i] = pack(clamp255(int64_t{alpha_of(word)} + t3), 0, 0, 0) |
                  shifted(word & kColourBits);
    }
}

// True when channel c lies in c0 - t5 to c0 + t5, bounds included.
static bool within(uint32_t c, uint32_t c0, int32_t t5) {
    return int64_t{c0} - t5 <= c && c <= int64_t{c0} + t5;
}

static uint32_t shift_hsv8(uint32_t rgb, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    // The brightened channels may leave 0 to 255; the conversion takes them
    // as they are, and they are what a pixel keeps when no sector applies.
    int64_t r = int64_t{red_of(rgb)} + t3;
    int64_t g = int64_t{green_of(rgb)} + t3;
    int64_t b = int64_t{blue_of(rgb)} + t3;
    const Hsv8 hsv = hsv8_forward(r, g, b);
    int64_t hh = int64_t{hsv.hh} - t0;
    if (hh < 0) hh += 360;  // once: a shift above 360 can leave it negative
    const auto ss = static_cast<int32_t>(clamp255(int64_t{hsv.ss} - t1));
    const auto vv = static_cast<int32_t>(clamp255(trunc_to_int(double{hsv.cmax} - t2)));
    int32_t nr, ng, nb;
    if (hsv8_back(hh, ss, vv, &nr, &ng, &nb)) {
        r = nr;
        g = ng;
        b = nb;
    }
    return pack(0, clamp255(r), clamp255(g), clamp255(b));
}

void tovoHSV2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3,
              uint32_t t4, int32_t t5) {
    const uint32_t r0 = red_of(t4), g0 = green_of(t4), b0 = blue_of(t4);
    LastColour shifted([=](uint32_t rgb) { return shift_hsv8(rgb, t0, t1, t2, t3); });
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (alpha_of(word) > 0 && within(red_of(word), r0, t5) &&
            within(green_of(word), g0, t5) && within(blue_of(word), b0, t5)) {
            data[i] = (word & kAlphaBits) | shifted(word & kColourBits);
        }
    }
}

}  // namespace rururev::kernel
