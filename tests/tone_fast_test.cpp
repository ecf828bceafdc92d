// The fast tone filters against their plain kernels.
#include <cmath>

#include <gtest/gtest.h>

#include "filters/filter_functions.h"
#include "identity.h"
#include "filters/fast.h"

namespace {

const identity::Case mono_cases[] = {
    IDENTITY_CASE(tovoMono(d, w * h, 0, 0, 0, 0, false)),
    IDENTITY_CASE(tovoMono(d, w * h, 0, 0, 0, 0, true)),
    IDENTITY_CASE(tovoMono(d, w * h, 30, -20, 10, 5, true)),
    IDENTITY_CASE(tovoMono(d, w * h, 255, 255, 255, 0, true)),
    IDENTITY_CASE(tovoMono(d, w * h, -255, -255, -255, -1, true)),
    IDENTITY_CASE(tovoMono(d, w * h, 9, 9, 9, -300, false)),
    IDENTITY_CASE(tovoMono(d, w * h, INT32_MAX, INT32_MIN, 7, INT32_MIN, true)),
    IDENTITY_CASE(tovoMono(d, w * h, 5, 5, 5, INT32_MAX, false)),
};

const identity::Case threshold_cases[] = {
    IDENTITY_CASE(tovo2Pns(d, w * h, 0, 0, 0, 0, 0, 255, 0)),
    IDENTITY_CASE(tovo2Pns(d, w * h, 0, 0, 0, 0, 1, 255, 0)),
    IDENTITY_CASE(tovo2Pns(d, w * h, 10, -20, 300, -10, 0, 200, 50)),
    IDENTITY_CASE(tovo2Pns(d, w * h, 10, -20, 300, -10, 1, 200, 50)),
    IDENTITY_CASE(tovo2Pns(d, w * h, INT32_MAX, INT32_MIN, -1, INT32_MIN, 1, -5, 300)),
    IDENTITY_CASE(tovo2Pns(d, w * h, 0, 0, 0, INT32_MAX, 0, 128, 64)),
    IDENTITY_CASE(tovo2Pns(d, w * h, 7, 7, 7, 100, 2, 255, 0)),
};

const identity::Case nstage_cases[] = {
    IDENTITY_CASE(tovoNStage(d, w * h, 4, 0, 0, 0, false)),
    IDENTITY_CASE(tovoNStage(d, w * h, 4, 0, 0, 0, true)),
    IDENTITY_CASE(tovoNStage(d, w * h, 0, 0, 0, 0, false)),
    IDENTITY_CASE(tovoNStage(d, w * h, 254, 0, 0, 0, true)),
    IDENTITY_CASE(tovoNStage(d, w * h, 256, 3, -3, 0, false)),
    IDENTITY_CASE(tovoNStage(d, w * h, 3, 10, -20, 300, true)),
    IDENTITY_CASE(tovoNStage(d, w * h, 11, 0, 0, 0, false)),  // 11 steps: one past the compares of SSE4
    IDENTITY_CASE(tovoNStage(d, w * h, INT32_MIN, INT32_MAX, INT32_MIN, 5, false)),
    IDENTITY_CASE(tovoNStage2(d, w * h, 4, 0, 0, 0, false)),
    IDENTITY_CASE(tovoNStage2(d, w * h, 4, 0, 0, 0, true)),
    IDENTITY_CASE(tovoNStage2(d, w * h, 1, 0, 0, 0, false)),
    IDENTITY_CASE(tovoNStage2(d, w * h, 255, -1, 1, 128, true)),
    IDENTITY_CASE(tovoNStage2(d, w * h, 7, -1, 1, 128, false)),
    IDENTITY_CASE(tovoNStage2(d, w * h, 200, 77, -300, 1000, false)),
    IDENTITY_CASE(tovoNStage2(d, w * h, INT32_MAX, 0, INT32_MAX, INT32_MIN, true)),
};

const identity::Case range_key_cases[] = {
    IDENTITY_CASE(tovoRngPut(d, w * h, 50, 150, 1, 0x0000FF00u, 0)),
    IDENTITY_CASE(tovoRngPut(d, w * h, 50, 150, 0, 0xFF00FF00u, 0)),
    IDENTITY_CASE(tovoRngPut(d, w * h, 50, 150, 0, 0x00123456u, 1)),
    IDENTITY_CASE(tovoRngPut(d, w * h, 0, 0, 0, 0u, 0)),
    IDENTITY_CASE(tovoRngPut(d, w * h, 100, -50, 1, 0u, 1)),
    IDENTITY_CASE(tovoRngPut(d, w * h, -10, 300, -1, 0xFFFFFFFFu, 0)),
    IDENTITY_CASE(tovoRngPut(d, w * h, INT32_MIN, INT32_MAX, 0, 0xFFFFFFFFu, 3)),
    IDENTITY_CASE(tovoRngPut(d, w * h, INT32_MAX, INT32_MAX, 1, 0x00ABCDEFu, 0)),
};

// Exponents usual and odd (0, negative, not a number, infinite), offsets
// that push the luma negative or far up.
const identity::Case gamma_cases[] = {
    IDENTITY_CASE(tovoGanma(d, w * h, 2.2f, 0, 0, 0)),
    IDENTITY_CASE(tovoGanma(d, w * h, 0.45f, 10, -20, 30)),
    IDENTITY_CASE(tovoGanma(d, w * h, 1.0f, 0, 0, 0)),
    IDENTITY_CASE(tovoGanma(d, w * h, 0.0f, -300, 300, 0)),
    IDENTITY_CASE(tovoGanma(d, w * h, -1.5f, 0, 0, 0)),
    IDENTITY_CASE(tovoGanma(d, w * h, std::nanf(""), 0, 0, 0)),
    IDENTITY_CASE(tovoGanma(d, w * h, INFINITY, -100, 0, 100)),
    IDENTITY_CASE(tovoGanma(d, w * h, 3.0f, INT32_MAX, INT32_MIN, 7)),
};

}  // namespace

TEST(ToneFast, ShortBuffersAndTails) {
    identity::expect_identical(gamma_cases, false);
    identity::expect_identical(mono_cases, false);
    identity::expect_identical(threshold_cases, false);
    identity::expect_identical(nstage_cases, false);
    identity::expect_identical(range_key_cases, false);
}

TEST(ToneFast, GammaEveryColour) { identity::expect_identical(gamma_cases, true); }
TEST(ToneFast, MonoEveryColour) { identity::expect_identical(mono_cases, true); }
TEST(ToneFast, ThresholdEveryColour) { identity::expect_identical(threshold_cases, true); }
TEST(ToneFast, NStageEveryColour) { identity::expect_identical(nstage_cases, true); }
TEST(ToneFast, RangeKeyEveryColour) { identity::expect_identical(range_key_cases, true); }
