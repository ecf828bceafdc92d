// The switches of the environment: plain kernels, thread count.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include "lua_fixture.h"
#include "module/module_state.h"
#include "registered.h"
#include "engine/dispatch.h"
#include "engine/parallel.h"

namespace {

// Every filter but the random one on a fresh 67 x 5 frame of mixed
// pixels each, through Lua, one frame after the other.
std::vector<uint32_t> every_filter_words() {
    rururev::reset_module_state();
    lua_State* L = open_module_state();
    std::vector<uint32_t> words;
    for (const std::string& name : filter_names()) {
        if (name == "tovoAlp0") continue;
        std::vector<uint32_t> px(67 * 5);
        for (uint32_t i = 0; i < px.size(); i++) px[i] = i * 0x9E3779B9u;
        EXPECT_EQ(call_filter(L, name, px, 67, 5, "10, -20, 30, 2, 4278255360, 1, 2, 0, 1, true"), "") << name;
        words.insert(words.end(), px.begin(), px.end());
    }
    lua_close(L);
    rururev::reset_module_state();
    return words;
}

}  // namespace

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

// RURUREV_TARGET by the SIMD library's names, in any case; anything else
// asks for no limit.
TEST(TargetSwitch, NamesAndTheTargetUsed) {
    const struct {
        const char* value;
        const char* used;  // null: no limit, the best target stays
    } cases[] = {
        {"AVX3_DL", "AVX3_DL"}, {"AVX3", "AVX3"}, {"avx2", "AVX2"}, {"SSE4", "SSE4"},
        {"SCALAR", "portable"}, {"EMU128", "portable"}, {"", nullptr}, {"AVX", nullptr},
        {"AVX2 ", nullptr},     {nullptr, nullptr},
    };
    // Either form of the portable code is the one compiled, the baseline.
    const std::string portable = hwy::TargetName(HWY_STATIC_TARGET);
    using namespace rururev::fast;
    plain_requested();  // the first call's own limit is applied before these
    limit_targets(nullptr);
    const std::string best = target_in_use();
    std::vector<uint32_t> unlimited;
    for (const auto& c : cases) {
        const char* shown = c.value ? c.value : "unset";
        limit_targets(c.value);
        const int64_t asked = target_value(c.value);
        EXPECT_EQ(asked != 0, c.used != nullptr) << shown;
        // A target this processor lacks (or this build) leaves a lesser one:
        // asserted where it has it.
        if (c.used == nullptr) {
            EXPECT_EQ(target_in_use(), best) << shown;
        } else if ((hwy::SupportedTargets() & HWY_TARGETS & asked) != 0 || asked >= HWY_STATIC_TARGET) {
            EXPECT_EQ(target_in_use(), c.used == std::string("portable") ? portable : c.used) << shown;
        }
        std::vector<uint32_t> words = every_filter_words();
        if (unlimited.empty()) unlimited = words;
        EXPECT_EQ(words, unlimited) << shown;
    }
    limit_targets(nullptr);
}
