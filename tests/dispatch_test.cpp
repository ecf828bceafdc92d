// The switch that forces the plain kernels.
#include <gtest/gtest.h>

#include "simd/dispatch.h"

TEST(PlainSwitch, ValuesThatAskForThePlainKernels) {
    const struct {
        const char* value;
        bool plain;
    } cases[] = {
        {nullptr, false}, {"", false}, {"0", false},
        {"1", true},      {"yes", true}, {"00", true}, {" ", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rururev::fast::plain_value(c.value), c.plain) << (c.value ? c.value : "unset");
    }
}
