// The whole-number HSV steps against the double-precision steps they
// replace, over each step's whole input domain, on every compiled target:
// the forward conversions over all 2^24 colours, the raised saturation over
// every (range, cmax) pair it can meet, and the back conversions over every
// hue below the limit with every saturation and value, whole or in whole
// hundredths, and with the saturation moved anywhere.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "hsv_steps_fast_test.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "core/pixel.h"
#include "simd/hsv_whole-inl.h"

HWY_BEFORE_NAMESPACE();
namespace rururev::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Each check returns the first input (packed as the comment says) whose
// result differs, or -1.

// Colour words 0x00RRGGBB: the hue, saturation and value of both forward
// conversions.
int64_t CheckForward() {
    const WU du;
    const size_t lanes = hn::Lanes(du);
    HWY_ALIGN int32_t h[HWY_MAX_BYTES / 4], s[HWY_MAX_BYTES / 4], v[HWY_MAX_BYTES / 4];
    HWY_ALIGN int32_t h8[HWY_MAX_BYTES / 4], s8[HWY_MAX_BYTES / 4], v8[HWY_MAX_BYTES / 4];
    for (uint32_t first = 0; first < (1u << 24); first += lanes) {
        const auto words = hn::Iota(du, first);
        const WholeHsv plain = WholeForward<false>(words), eight = WholeForward<true>(words);
        hn::Store(plain.h, WI(), h), hn::Store(plain.s, WI(), s), hn::Store(plain.v, WI(), v);
        hn::Store(eight.h, WI(), h8), hn::Store(eight.s, WI(), s8), hn::Store(eight.v, WI(), v8);
        for (size_t i = 0; i < lanes; i++) {
            const uint32_t c = first + static_cast<uint32_t>(i);
            double H, S, V;
            RGB2HSV(red_of(c), green_of(c), blue_of(c), &H, &S, &V);
            const Hsv8 ref = hsv8_forward(red_of(c), green_of(c), blue_of(c));
            if (H != h[i] || S != s[i] || V != v[i] || ref.hh != h8[i] || ref.ss != s8[i] ||
                ref.vv != v8[i]) {
                return c;
            }
        }
    }
    return -1;
}

// range << 16 | cmax: the truncated saturation of raised channels, range 0
// to 255 and cmax range to 510.
int64_t CheckRaisedSaturation() {
    const WI di;
    const size_t lanes = hn::Lanes(di);
    HWY_ALIGN int32_t s[HWY_MAX_BYTES / 4];
    for (int32_t range = 0; range < 256; range++) {
        for (int32_t first = 0; first < 512; first += static_cast<int32_t>(lanes)) {
            hn::Store(WholeSaturation<false>(hn::Iota(di, first), hn::Set(di, range)), di, s);
            for (size_t i = 0; i < lanes; i++) {
                const int32_t cmax = first + static_cast<int32_t>(i);
                if (cmax < range || cmax > 510) continue;
                if (hsv8_forward(cmax, cmax - range, cmax - range).ss != s[i]) return int64_t{range} << 16 | cmax;
            }
        }
    }
    return -1;
}

// The colours the plain back conversions give whole H, S and V, packed.
uint32_t PlainBack(int32_t h, double s, double v) {
    int r = 0, g = 0, b = 0;
    HSV2RGB(h, s, v, &r, &g, &b);
    return pack(0, clamp255(r), clamp255(g), clamp255(b));
}
uint32_t PlainBack8(int32_t h, int32_t s, int32_t v) {
    int32_t r = 0, g = 0, b = 0;
    hsv8_back(h, s, v, &r, &g, &b);
    return pack(0, clamp255(r), clamp255(g), clamp255(b));
}

// h << 16 | s << 8 | v: the back conversions for every hue below the
// limit with every saturation and value.
int64_t CheckBack(bool hsv8) {
    const WI di;
    const size_t lanes = hn::Lanes(di);
    HWY_ALIGN uint32_t out[HWY_MAX_BYTES / 4];
    for (int32_t h = 0; h < kWholeHues; h++) {
        for (int32_t s = 0; s < 256; s++) {
            for (int32_t first = 0; first < 256; first += static_cast<int32_t>(lanes)) {
                const auto hv = hn::Set(di, h), sv = hn::Set(di, s), vv = hn::Iota(di, first);
                hn::Store(hsv8 ? WholeBack<true>(hv, sv, vv) : WholeBack<false>(hv, sv, vv), WU(), out);
                for (size_t i = 0; i < lanes; i++) {
                    const int32_t v = first + static_cast<int32_t>(i);
                    if ((hsv8 ? PlainBack8(h, s, v) : PlainBack(h, s, v)) != out[i]) return h << 16 | s << 8 | v;
                }
            }
        }
    }
    return -1;
}

// n << 16 | h << 8 | s: the back conversion of values in whole hundredths
// n / 100 (0 to 25500) with every saturation, for the hues 0 to 60, which
// meet every k of both kinds of sector. Or, moved, of every value s with the
// saturation moved to 0, or between steps a = n / 2 (reported for n) and a + 1
// of 1 / D, to the least double above a (n even) and to a + 1 (n odd); levels
// fall as it grows, so right at both is right for all between.
// One block of those inputs, the values first to first + 255, as one table
// of h, s and value: with reference, writes the plain colours into expected;
// else compares this target's with them. -2 when the block is past the last.
int64_t CheckHundredthsBlock(bool moved, int32_t first, uint32_t* expected, bool reference) {
    const WI di;
    const size_t lanes = hn::Lanes(di);
    HWY_ALIGN uint32_t out[HWY_MAX_BYTES / 4];
    int32_t packed[256];
    double values[256], fractions[256];
    const int32_t last = moved ? 2 * 255 * kSaturationSteps : 25500;
    if (first > last) return -2;
    for (int32_t i = 0; i < 256; i++) {
        values[i] = std::min(first + i, 25500) / 100.0;
        packed[i] = std::min(first + i, 25500) | trunc_to_int(values[i]) << 16;
        const int32_t n = std::min(first + i, last), a = n / 2 % (255 * kSaturationSteps);
        const double step = double(a) / kSaturationSteps, next = double(a + 1) / kSaturationSteps;
        if (moved) values[i] = n == last ? 0.0 : n % 2 ? next : std::nextafter(step, next);
        if (moved) packed[i] = n == last ? 0 : a | ~0xFFFF;
        fractions[i] = values[i] / 255.0;
    }
    for (int32_t h = 0; h <= 60; h++) {
        for (int32_t s = 0; s < 256; s++) {
            uint32_t* row = expected + (h * 256 + s) * 256;
            if (reference) {
                for (int32_t at = 0; at < 256; at++) {
                    row[at] = moved ? PlainBack(h, values[at], s) : PlainBack(h, s, values[at]);
                }
                continue;
            }
            for (int32_t at = 0; at < 256; at += static_cast<int32_t>(lanes)) {
                const auto hv = hn::Set(di, h), sv = hn::Set(di, s), at_v = hn::Iota(di, at);
                hn::Store(moved ? SteppedSaturationBack(hv, at_v, sv, packed, fractions)
                                : HundredthsBack(hv, sv, at_v, packed, values), WU(), out);
                for (size_t i = 0; i < lanes; i++) {
                    if (row[at + i] != out[i]) return int64_t{packed[at + i] & 0xFFFF} << 16 | h << 8 | s;
                }
            }
        }
    }
    return -1;
}

}  // namespace rururev::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <gtest/gtest.h>
#include <hwy/targets.h>

namespace rururev::simd {
HWY_EXPORT(CheckForward);
HWY_EXPORT(CheckRaisedSaturation);
HWY_EXPORT(CheckBack);
HWY_EXPORT(CheckHundredthsBlock);
}  // namespace rururev::simd

namespace {

// Runs check on every compiled target the processor supports; "" when it
// finds no difference, else the target and the input.
template <class Check>
std::string on_every_target(Check check) {
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        const int64_t bad = check();
        hwy::SetSupportedTargetsForTest(0);
        if (bad >= 0) return std::string(hwy::TargetName(target)) + ": input " + std::to_string(bad);
    }
    return "";
}

using namespace rururev::simd;

// CheckHundredthsBlock over every block: the plain colours of a block once,
// then each target's against them (the plain steps cost the most).
std::string hundredths_on_every_target(bool moved) {
    std::vector<uint32_t> expected(61 * 256 * 256);
    for (int32_t first = 0;; first += 256) {
        if (HWY_STATIC_DISPATCH(CheckHundredthsBlock)(moved, first, expected.data(), true) == -2) return "";
        const std::string diff = on_every_target([&] {
            return HWY_DYNAMIC_DISPATCH(CheckHundredthsBlock)(moved, first, expected.data(), false);
        });
        if (!diff.empty()) return diff;
    }
}

TEST(HsvStepsFast, ForwardEveryColour) {
    EXPECT_EQ(on_every_target([] { return HWY_DYNAMIC_DISPATCH(CheckForward)(); }), "");
    EXPECT_EQ(on_every_target([] { return HWY_DYNAMIC_DISPATCH(CheckRaisedSaturation)(); }), "");
}

TEST(HsvStepsFast, BackEveryColourOfWholeHues) {
    EXPECT_EQ(on_every_target([] { return HWY_DYNAMIC_DISPATCH(CheckBack)(false); }), "");
    EXPECT_EQ(on_every_target([] { return HWY_DYNAMIC_DISPATCH(CheckBack)(true); }), "");
    EXPECT_EQ(hundredths_on_every_target(false), "");
}

TEST(HsvStepsFast, BackOfMovedSaturationsEveryColour) {
    EXPECT_EQ(hundredths_on_every_target(true), "");
}

}  // namespace
#endif  // HWY_ONCE
