#include "identity.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hwy/targets.h>

namespace identity {
namespace {

constexpr uint32_t kColours = 1u << 24;
constexpr uint32_t kAlphas[] = {0x00000000u, 0x01000000u, 0xFF000000u};
constexpr uint64_t kWords = uint64_t{kColours} * 3;
// A prime width: rows never end on a vector boundary.
constexpr uint32_t kWidth = 4093;
constexpr uint32_t kRowsPerChunk = 256;
// Beyond every fast path's small-buffer cut-off (gamma's 4096 words), so the
// everyday runs reach the vector code too.
constexpr uint32_t kLongRuns[] = {4099, 8195};

// RURUREV_PLAIN would make every fast path its plain kernel and every proof
// compare a kernel with itself: the proofs drop it before the first call
// reads it.
const bool plain_switch_dropped = [] {
    if (std::getenv("RURUREV_PLAIN") == nullptr) return false;
#ifdef _WIN32
    _putenv("RURUREV_PLAIN=");
#else
    unsetenv("RURUREV_PLAIN");
#endif
    std::printf("RURUREV_PLAIN is ignored here: the proofs run the fast paths\n");
    return true;
}();

// The targets the proofs ran on, so that each proof can say so and miss none.
int64_t targets_compared = 0;

uint32_t word_at(uint64_t k) {
    return kAlphas[k / kColours] | static_cast<uint32_t>(k % kColours);
}

std::string describe(const std::string& target, uint64_t index, uint32_t in, uint32_t expected,
                     uint32_t got) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "%s, word %llu: in %08X, reference %08X, fast %08X", target.c_str(),
                  static_cast<unsigned long long>(index), in, expected, got);
    return text;
}

// Compares one block on every target: the reference has already run on
// expected; input is what both start from.
std::string compare_on_targets(const Filter& fast, const std::vector<uint32_t>& input,
                               const std::vector<uint32_t>& expected, uint32_t w, uint32_t h,
                               uint64_t first_index) {
    std::vector<uint32_t> got;
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        targets_compared |= target;
        got = input;
        fast(got.data(), w, h);
        hwy::SetSupportedTargetsForTest(0);
        for (size_t i = 0; i < got.size(); i++) {
            if (got[i] != expected[i]) {
                return describe(std::string("target ") + hwy::TargetName(target), first_index + i,
                                input[i], expected[i], got[i]);
            }
        }
    }
    return "";
}

// Runs the threaded path on `threads` threads, splitting frames into parts
// of as little as one word (or row), and compares it with expected.
std::string compare_threaded(const Filter& threaded, unsigned threads,
                             const std::vector<uint32_t>& input,
                             const std::vector<uint32_t>& expected, uint32_t w, uint32_t h,
                             uint64_t first_index) {
    std::vector<uint32_t> got = input;
    rururev::parallel::set_plan_for_test(threads, 1);
    threaded(got.data(), w, h);
    rururev::parallel::set_plan_for_test(0, 0);
    for (size_t i = 0; i < got.size(); i++) {
        if (got[i] != expected[i]) {
            return describe(std::to_string(threads) + " threads, " + std::to_string(w) + "x" +
                                std::to_string(h),
                            first_index + i, input[i], expected[i], got[i]);
        }
    }
    return "";
}

// Mixed colours and alphas (transparent ones among them), so that each lane
// of a vector differs.
uint32_t mixed_word(uint32_t i) {
    constexpr uint32_t kMixedAlphas[] = {0u, 1u, 0x80u, 0xFFu};
    return ((i * 0x9E3779B9u) & 0x00FFFFFFu) | kMixedAlphas[i % 4] << 24;
}

}  // namespace

std::string every_colour(const Case& c) {
    std::vector<uint32_t> input, expected;
    uint32_t block = 0;
    for (uint64_t start = 0; start < kWords; block++) {
        // Whole rows while they fit, then the remainder as one short row.
        uint32_t w = kWidth, h = kRowsPerChunk;
        const uint64_t left = kWords - start;
        if (left < uint64_t{w} * h) {
            h = static_cast<uint32_t>(left / w);
            if (h == 0) {
                w = static_cast<uint32_t>(left);
                h = 1;
            }
        }
        input.resize(size_t{w} * h);
        for (size_t i = 0; i < input.size(); i++) input[i] = word_at(start + i);
        expected = input;
        c.reference(expected.data(), w, h);
        std::string diff = compare_on_targets(c.fast, input, expected, w, h, start);
        // The threaded path runs the fast path just compared, on parts of
        // the frame: what it adds is the split, whatever the colours, so it
        // runs on one block in eight and on the short ones at the end.
        if (diff.empty() && (block % 8 == 0 || h < kRowsPerChunk)) {
            diff = compare_threaded(c.threaded, 3, input, expected, w, h, start);
        }
        if (!diff.empty()) return diff;
        start += input.size();
    }
    return "";
}

std::string short_runs(const Case& c) {
    // No pixels: nothing is read, not even through a null buffer.
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        c.fast(nullptr, 0, 0);
        c.fast(nullptr, 0, 7);
        hwy::SetSupportedTargetsForTest(0);
    }
    constexpr unsigned kThreads[] = {2, 3, 7};
    for (const unsigned threads : kThreads) {
        rururev::parallel::set_plan_for_test(threads, 1);
        c.threaded(nullptr, 0, 0);
        c.threaded(nullptr, 0, 7);
        rururev::parallel::set_plan_for_test(0, 0);
    }
    constexpr uint32_t kGuard = 0x5A5A5A5Au;
    constexpr size_t kGuards = 8;
    std::vector<uint32_t> lengths;
    for (uint32_t n = 0; n <= 70; n++) lengths.push_back(n);
    lengths.insert(lengths.end(), std::begin(kLongRuns), std::end(kLongRuns));
    for (const uint32_t n : lengths) {
        std::vector<uint32_t> input(n + kGuards, kGuard);
        for (uint32_t i = 0; i < n; i++) input[i] = mixed_word(i);
        std::vector<uint32_t> expected = input;
        c.reference(expected.data(), n, 1);
        std::string diff = compare_on_targets(c.fast, input, expected, n, 1, 0);
        for (const unsigned threads : kThreads) {
            if (diff.empty()) diff = compare_threaded(c.threaded, threads, input, expected, n, 1, 0);
        }
        if (!diff.empty()) return "length " + std::to_string(n) + ": " + diff;
    }
    // Frames of odd sizes, fewer rows than threads among them.
    constexpr uint32_t kSizes[][2] = {{1, 1}, {3, 2}, {5, 7}, {13, 11}, {63, 65}, {4093, 13}};
    for (const auto& size : kSizes) {
        const uint32_t w = size[0], h = size[1];
        std::vector<uint32_t> input(size_t{w} * h + kGuards, kGuard);
        for (uint32_t i = 0; i < w * h; i++) input[i] = mixed_word(i);
        std::vector<uint32_t> expected = input;
        c.reference(expected.data(), w, h);
        for (const unsigned threads : kThreads) {
            const std::string diff = compare_threaded(c.threaded, threads, input, expected, w, h, 0);
            if (!diff.empty()) return diff;
        }
    }
    return "";
}

namespace {

std::string target_names(int64_t targets) {
    std::string names;
    for (int64_t bit = 1; bit != 0 && bit <= targets; bit <<= 1) {
        if (targets & bit) names += std::string(names.empty() ? "" : " ") + hwy::TargetName(bit);
    }
    return names.empty() ? "none" : names;
}

// Says which compiled targets the proofs compared and which this CPU cannot
// run (not proven here); fails when one that it can run was left out.
void report_targets() {
    const int64_t compiled = HWY_TARGETS;
    const int64_t runnable = compiled & hwy::SupportedTargets();
    std::printf("compared on: %s; compiled but not proven on this CPU: %s\n",
                target_names(targets_compared).c_str(),
                target_names(compiled & ~runnable).c_str());
    EXPECT_EQ(runnable & ~targets_compared, 0)
        << "compiled targets this CPU runs but no proof ran: "
        << target_names(runnable & ~targets_compared);
}

}  // namespace

void expect_identical(const Case* cases, size_t n, bool every_colour) {
    targets_compared = 0;
    for (size_t i = 0; i < n; i++) {
        const Case& c = cases[i];
        EXPECT_EQ(every_colour ? identity::every_colour(c) : short_runs(c), "")
            << c.label;
    }
    report_targets();
}

}  // namespace identity
