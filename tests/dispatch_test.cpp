// The switches of the environment: plain kernels, thread count.
#include <gtest/gtest.h>

#include "simd/dispatch.h"
#include "simd/parallel.h"

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

// RURUREV_THREADS: a whole number from 1 up, at most 64; anything else
// leaves the default.
TEST(ThreadsSwitch, ValuesThatSetTheThreadCount) {
    const struct {
        const char* value;
        unsigned threads;  // 0: the default
    } cases[] = {
        {nullptr, 0}, {"", 0},    {"0", 0},   {"1", 1},     {"2", 2},   {"64", 64},
        {"65", 64},   {"99999999999999999999", 64}, {"-1", 0},  {" 2", 0},  {"2x", 0},
        {"two", 0},   {"1.5", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rururev::parallel::threads_value(c.value), c.threads) << (c.value ? c.value : "unset");
    }
}
