// The fast HSV filters against their plain kernels.
#include <gtest/gtest.h>

#include "adjust/hsv_filters.h"
#include "identity.h"
#include "filters/filter_functions.h"

namespace {

const identity::Case hsv_cases[] = {
    IDENTITY_CASE(tovoHSV(d, w * h, 30, 20, -10, 0)),
    IDENTITY_CASE(tovoHSV(d, w * h, 0, 0, 0, 0)),
    IDENTITY_CASE(tovoHSV(d, w * h, -370, 300, -300, 255)),
    IDENTITY_CASE(tovoHSV(d, w * h, 725, -255, 255, -255)),
    IDENTITY_CASE(tovoHSV(d, w * h, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN)),
    IDENTITY_CASE(tovoHSV(d, w * h, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX)),
};

const identity::Case near_colour_cases[] = {
    IDENTITY_CASE(tovoHSV2(d, w * h, 20, 10, 0, 5, 0x00C03020u, 60)),
    IDENTITY_CASE(tovoHSV2(d, w * h, 0, 0, 0, 0, 0xFF808080u, 0)),
    IDENTITY_CASE(tovoHSV2(d, w * h, -400, -300, 300, -300, 0x00FFFFFFu, 255)),
    IDENTITY_CASE(tovoHSV2(d, w * h, 400, 255, -255, 300, 0x00000000u, 100)),
    IDENTITY_CASE(tovoHSV2(d, w * h, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, 0x00123456u, INT32_MAX)),
    IDENTITY_CASE(tovoHSV2(d, w * h, 30, 40, 50, 60, 0x0040C080u, -1)),
    // Either side of the brightness bound of the vector path, and past
    // 2^24, where single precision no longer holds every whole number.
    IDENTITY_CASE(tovoHSV2(d, w * h, 10, -20, 30, 1 << 20, 0x00804020u, 255)),
    IDENTITY_CASE(tovoHSV2(d, w * h, 10, -20, 30, -(1 << 20) - 1, 0x00804020u, 255)),
    IDENTITY_CASE(tovoHSV2(d, w * h, 10, -20, 30, (1 << 24) + 1, 0x00804020u, 255)),
    IDENTITY_CASE(tovoHSV2(d, w * h, 10, -20, 30, -(1 << 24) - 1, 0x00804020u, 255)),
};

const identity::Case levels_cases[] = {
    IDENTITY_CASE(tovoHighShadow(d, w * h, 230, 20, 0, 100, 255, 0)),
    IDENTITY_CASE(tovoHighShadow(d, w * h, 0, 255, 10, -50, 200, 20)),
    IDENTITY_CASE(tovoHighShadow(d, w * h, 100, 100, 0, 100, 50, 200)),
    IDENTITY_CASE(tovoHighShadow(d, w * h, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX,
                                 INT32_MIN)),
    // Gains other than 100: values in whole hundredths.
    IDENTITY_CASE(tovoHighShadow(d, w * h, 235, 20, 5, 105, 250, 5)),
    IDENTITY_CASE(tovoHighShadow(d, w * h, 255, 0, 0, 1, 255, 0)),
    IDENTITY_CASE(tovoHighShadow(d, w * h, 200, 10, -3, 127, 255, 0)),
    IDENTITY_CASE(tovoHighShadowDoder(d, w * h, 230, 20, 0, 100, 255, 0)),
    IDENTITY_CASE(tovoHighShadowDoder(d, w * h, 0, 255, 10, -50, 200, 20)),
    IDENTITY_CASE(tovoHighShadowDoder(d, w * h, 300, -40, 7, 150, 400, -30)),
    IDENTITY_CASE(tovoHighShadowDoder(d, w * h, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MIN,
                                      INT32_MAX, INT32_MIN)),
    IDENTITY_CASE(tovoHighShadowDoder(d, w * h, 255, 0, 0, 1, 255, 0)),
    IDENTITY_CASE(tovoHighShadowDoder(d, w * h, 255, 0, 0, 101, 255, 0)),
    IDENTITY_CASE(tovoHighShadowDoder(d, w * h, 200, 10, -3, 127, 250, 5)),
};

const identity::Case negative_cases[] = {
    IDENTITY_CASE(tovoNega(d, w * h, 200, 60, 128, 0)),
    IDENTITY_CASE(tovoNega(d, w * h, 0, 0, 0, 0)),
    IDENTITY_CASE(tovoNega(d, w * h, -30, -300, -5, -20)),
    IDENTITY_CASE(tovoNega(d, w * h, 400, 255, 300, INT32_MIN)),
    IDENTITY_CASE(tovoNega(d, w * h, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX)),
    IDENTITY_CASE(tovoNega(d, w * h, 720, 10, 0, 5)),
};

}  // namespace

TEST(HsvFiltersFast, ShortBuffersAndTails) {
    identity::expect_identical(hsv_cases, false);
    identity::expect_identical(near_colour_cases, false);
    identity::expect_identical(levels_cases, false);
    identity::expect_identical(negative_cases, false);
}

TEST(HsvFiltersFast, HsvEveryColour) { identity::expect_identical(hsv_cases, true); }
TEST(HsvFiltersFast, NearColourEveryColour) { identity::expect_identical(near_colour_cases, true); }
TEST(HsvFiltersFast, HighShadowEveryColour) { identity::expect_identical(levels_cases, true); }
TEST(HsvFiltersFast, NegativeEveryColour) { identity::expect_identical(negative_cases, true); }
