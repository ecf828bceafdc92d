// The fast channel offsets against their plain kernels.
#include <gtest/gtest.h>

#include "adjust/adjust.h"
#include "identity.h"
#include "simd/fast.h"

namespace {

struct Offsets {
    int32_t t0, t1, t2, t3;
};

const Offsets offset_sets[] = {
    {0, 0, 0, 0},
    {5, 0, 0, 20},
    {10, -10, 0, 0},
    {0, 0, 0, -255},
    {-1, 1, -255, 255},
    {256, -256, 254, -254},
    {300, -300, 255, 200},
    {-7, 13, -128, 127},
    {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN},
    {INT32_MIN, INT32_MAX, -1, 1},
};

using Kernel = void (*)(uint32_t*, uint32_t, int32_t, int32_t, int32_t, int32_t);

struct OffsetFilter {
    const char* name;
    Kernel reference, fast;
};

const OffsetFilter offset_filters[] = {
    {"tovoRGB", rururev::kernel::tovoRGB, rururev::fast::tovoRGB},
    {"tovoRGB2", rururev::kernel::tovoRGB2, rururev::fast::tovoRGB2},
};

identity::Filter bind(Kernel k, const Offsets& o) {
    return [k, o](uint32_t* data, uint32_t w, uint32_t h) { k(data, w * h, o.t0, o.t1, o.t2, o.t3); };
}

std::string label(const OffsetFilter& f, const Offsets& o) {
    return std::string(f.name) + "(" + std::to_string(o.t0) + ", " + std::to_string(o.t1) + ", " +
           std::to_string(o.t2) + ", " + std::to_string(o.t3) + ")";
}

}  // namespace

TEST(OffsetsFast, ShortBuffersAndTails) {
    for (const auto& f : offset_filters) {
        for (const auto& o : offset_sets) {
            EXPECT_EQ(identity::short_runs(bind(f.reference, o), bind(f.fast, o)), "") << label(f, o);
        }
    }
}

TEST(OffsetsFast, EveryColour) {
    for (const auto& f : offset_filters) {
        for (const auto& o : offset_sets) {
            EXPECT_EQ(identity::every_colour(bind(f.reference, o), bind(f.fast, o)), "") << label(f, o);
        }
    }
}
