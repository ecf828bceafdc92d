// The fast colour-key and region filters against their plain kernels.
#include <vector>

#include <gtest/gtest.h>

#include "identity.h"
#include "filters/filter_functions.h"

namespace {

// Runs a frame change filter with a previous frame made from the current
// one: every fifth entry empty, the others moved a little. Afterwards the
// store must hold the words written.
template <class Run>
void with_previous_frame(uint32_t* d, uint32_t count, Run run) {
    std::vector<uint32_t> store(d, d + count);
    for (uint32_t i = 0; i < count; i++) {
        store[i] = i % 5 == 0 ? 0 : store[i] ^ ((i * 2654435761u) & 0x00070707u);
    }
    run(d, count, store.data());
    EXPECT_TRUE(std::equal(store.begin(), store.end(), d));
}

const identity::Case ycbcr_cases[] = {
    IDENTITY_CASE(tovoYCbCr(d, w * h, 20, 20, 20, 0x00C03020u)),
    IDENTITY_CASE(tovoYCbCr(d, w * h, 0, 0, 0, 0u)),
    IDENTITY_CASE(tovoYCbCr(d, w * h, -1, 5, 5, 0xFFFFFFFFu)),
    IDENTITY_CASE(tovoYCbCr(d, w * h, 255, 255, 255, 0x00808080u)),
    IDENTITY_CASE(tovoYCbCr(d, w * h, INT32_MAX, INT32_MIN, 3, 0x0000FF00u)),
    IDENTITY_CASE(tovoYCbCr(d, w * h, 10, 300, -10, 0x00123456u)),
};

// The identity harness's rows are 4093 words wide.
const identity::Case select_cases[] = {
    IDENTITY_CASE(tovoCSplt(d, w, h, 20, 60, 60, 10, 0x00C03020u, 0, UINT32_MAX, 0, UINT32_MAX)),
    IDENTITY_CASE(tovoCSplt(d, w, h, 20, 60, 60, -10, 0xFF2080C0u, 100, 3000, 10, 200)),
    IDENTITY_CASE(tovoCSplt(d, w, h, 0, 0, 0, 0, 0x00808080u, 5, 4, 0, 100)),
    IDENTITY_CASE(tovoCSplt(d, w, h, INT32_MAX, INT32_MIN, 5, INT32_MAX, 0u, 4092, 4092, 0, 255)),
    IDENTITY_CASE(tovoCTracking(d, w, h, 20, 60, 60, 10, 0x00C03020u, 0, UINT32_MAX, 0, UINT32_MAX)),
    IDENTITY_CASE(tovoCTracking(d, w, h, 30, 40, 50, -20, 0x002080C0u, 4000, 5000, 3, 3)),
    IDENTITY_CASE(tovoCTracking(d, w, h, 360, 255, 255, 300, 0x00FF0000u, 0, 4092, 0, UINT32_MAX)),
    IDENTITY_CASE(tovoCTracking(d, w, h, -1, 10, 10, INT32_MIN, 0x00FFFFFFu, 1, 2, 1, 0)),
};

const identity::Case frame_change_cases[] = {
    IDENTITY_CASE(with_previous_frame(d, w * h, [](uint32_t* p, uint32_t n, uint32_t* s) {
        tovoFrameCBA(p, n, s, 10, 10, 10, 4, 0x00FF0000u, true);
    })),
    IDENTITY_CASE(with_previous_frame(d, w * h, [](uint32_t* p, uint32_t n, uint32_t* s) {
        tovoFrameCBA(p, n, s, 0, 0, 0, 1, 0x0000FF00u, false);
    })),
    IDENTITY_CASE(with_previous_frame(d, w * h, [](uint32_t* p, uint32_t n, uint32_t* s) {
        tovoFrameCBA(p, n, s, -5, 20, 20, 3, 0xFFFFFFFFu, true);
    })),
    IDENTITY_CASE(with_previous_frame(d, w * h, [](uint32_t* p, uint32_t n, uint32_t* s) {
        tovoFrameCBA(p, n, s, INT32_MAX, INT32_MIN, 5, -1, 0x00123456u, true);
    })),
    IDENTITY_CASE(with_previous_frame(d, w * h, [](uint32_t* p, uint32_t n, uint32_t* s) {
        tovoFrameCBA(p, n, s, 10, 10, 10, 0, 0x00FF0000u, true);
    })),
    IDENTITY_CASE(with_previous_frame(d, w * h, [](uint32_t* p, uint32_t n, uint32_t* s) {
        tovoFrameCBA(p, n, s, 3, 3, 3, 4093, 0x00808080u, false);
    })),
};

}  // namespace

TEST(RegionFast, ShortBuffersAndTails) {
    identity::expect_identical(ycbcr_cases, false);
    identity::expect_identical(select_cases, false);
    identity::expect_identical(frame_change_cases, false);
}

TEST(RegionFast, YCbCrEveryColour) { identity::expect_identical(ycbcr_cases, true); }
TEST(RegionFast, SelectEveryColour) { identity::expect_identical(select_cases, true); }
TEST(RegionFast, FrameChangeEveryColour) { identity::expect_identical(frame_change_cases, true); }
