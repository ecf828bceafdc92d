// The fast channel offsets against their plain kernels.
#include <gtest/gtest.h>

#include "filters/filter_functions.h"
#include "identity.h"

namespace {

const identity::Case offset_cases[] = {
    IDENTITY_CASE(tovoRGB(d, w * h, 0, 0, 0, 0)),
    IDENTITY_CASE(tovoRGB(d, w * h, 5, 0, 0, 20)),
    IDENTITY_CASE(tovoRGB(d, w * h, 10, -10, 0, 0)),
    IDENTITY_CASE(tovoRGB(d, w * h, -1, 1, -255, 255)),
    IDENTITY_CASE(tovoRGB(d, w * h, 256, -256, 254, -254)),
    IDENTITY_CASE(tovoRGB(d, w * h, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN)),
    IDENTITY_CASE(tovoRGB2(d, w * h, 0, 0, 0, 0)),
    IDENTITY_CASE(tovoRGB2(d, w * h, 0, 0, 0, -255)),
    IDENTITY_CASE(tovoRGB2(d, w * h, 300, -300, 255, 200)),
    IDENTITY_CASE(tovoRGB2(d, w * h, -7, 13, -128, 127)),
    IDENTITY_CASE(tovoRGB2(d, w * h, INT32_MIN, INT32_MAX, -1, 1)),
};

}  // namespace

TEST(OffsetsFast, ShortBuffersAndTails) { identity::expect_identical(offset_cases, false); }
TEST(OffsetsFast, EveryColour) { identity::expect_identical(offset_cases, true); }
