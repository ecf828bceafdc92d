// Times every buffer filter on a 1920x1080 photo-like frame (or the size
// RURUREV_BENCH_FRAME gives): the plain kernel and the fast path in CPU time
// of the one thread that runs them, and the Lua binding as a script calls
// it in wall time, on the calling thread alone ("lua") and on all the
// threads a call uses ("threads"). Besides time, each row reports megapixels
// per second (MP/s), its cost in in-place passes over the same buffer
// (x_pass, measured in the same run by the "pass" row) and its speed-up over
// the plain kernel (x_plain); a threads row also its speed-up over the lua
// row of one thread (x_threads). The lua and threads rows come again for
// each SIMD target this processor has ("tovoHSV/lua/AVX2"). The time column
// is the mean of every run;
// the counters come from the fastest run of each row, which other work on a
// shared machine disturbs least.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <ctime>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <hwy/targets.h>
#include <lua.hpp>

#include "filters.h"
#include "frame.h"
#include "simd/dispatch.h"
#include "simd/parallel.h"

extern "C" int luaopen_librururev(lua_State* L);

namespace bench {
namespace {

const std::vector<uint32_t>& source_frame() {
    static const std::vector<uint32_t> frame = natural_frame(frame_width(), frame_height());
    return frame;
}

// The buffer the filters rewrite; restored from the source before each run.
std::vector<uint32_t>& work_frame() {
    static std::vector<uint32_t> frame(source_frame().size());
    return frame;
}

// A simple in-place pass that the compiler vectorises: inverts the colour
// channels. The yardstick for what memory alone costs.
void inplace_pass(uint32_t* data, uint32_t w, uint32_t h) {
    const uint32_t count = w * h;
    for (uint32_t i = 0; i < count; i++) data[i] ^= 0x00FFFFFFu;
}

// The CPU time of this thread, in seconds: on a machine shared with other
// work, wall time would also count the time the thread waits for a core.
double thread_seconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Seconds on a steady clock: the time to wait for the threads of a call.
double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One run on a freshly restored frame; only the call is timed.
template <class Call>
double time_once(Call&& call, double (*clock)() = thread_seconds) {
    std::copy(source_frame().begin(), source_frame().end(), work_frame().begin());
    const double start = clock();
    call(work_frame().data());
    benchmark::ClobberMemory();
    return clock() - start;
}

// Seconds of the fastest run of each measured row, keyed by row name.
std::map<std::string, double>& measured() {
    static std::map<std::string, double> seconds;
    return seconds;
}

// A row's fastest time from this run, or a short measurement of its own when
// the row was filtered out.
double reference_seconds(const std::string& key, Run run) {
    auto found = measured().find(key);
    if (found != measured().end()) return found->second;
    double best = 1e9;
    for (int i = 0; i < 5; i++) {
        best = std::min(best, time_once([&](uint32_t* d) { run(d, frame_width(), frame_height()); }));
    }
    return measured()[key] = best;
}

lua_State* lua_with_module() {
    static lua_State* L = [] {
        lua_State* state = luaL_newstate();
        luaL_openlibs(state);
        lua_getglobal(state, "package");
        lua_getfield(state, -1, "preload");
        lua_pushcfunction(state, luaopen_librururev);
        lua_setfield(state, -2, "librururev");
        lua_pop(state, 2);
        // A gentle S-shaped curve for the curve filters, set as a script would.
        luaL_dostring(state,
                      "require 'librururev'\n"
                      "for i = 1, 361 do\n"
                      "  librururev.tovoInterRGBset(i - 1, 20 * math.sin((i - 1) / 360 * 2 * math.pi), i)\n"
                      "end");
        return state;
    }();
    return L;
}

// Pushes a Lua function(data, w, h) that calls the filter with its
// parameters, as a script would write it.
void push_lua_call(lua_State* L, const BenchFilter& f) {
    const std::string code = "local f = librururev." + std::string(f.name) +
                             "\nreturn function(d, w, h) return f(d, w, h, " + f.lua_args + ") end";
    if (luaL_dostring(L, code.c_str()) != 0) {
        lua_error(L);
    }
}

enum class Variant { plain, fast, lua, threads };

// `target`: the SIMD target the row limits the fast paths to, or "" for the
// best one (or the one RURUREV_TARGET names).
void run_filter(benchmark::State& state, const BenchFilter& f, Variant variant,
                const std::string& target = "") {
    lua_State* L = lua_with_module();  // also sets the curve
    rururev::fast::plain_requested();  // applies RURUREV_TARGET first
    if (!target.empty()) rururev::fast::limit_targets(target.c_str());
    const bool through_lua = variant == Variant::lua || variant == Variant::threads;
    if (through_lua) push_lua_call(L, f);
    // One thread, or the plan a call makes by default.
    rururev::parallel::set_plan_for_test(variant == Variant::threads ? 0 : 1, UINT32_MAX);
    const int call = lua_gettop(L);
    auto once = [&](uint32_t* d) {
        switch (variant) {
            case Variant::plain: f.plain(d, frame_width(), frame_height()); break;
            case Variant::fast: f.fast(d, frame_width(), frame_height()); break;
            case Variant::lua:
            case Variant::threads:
                lua_pushvalue(L, call);
                lua_pushlightuserdata(L, d);
                lua_pushnumber(L, frame_width());
                lua_pushnumber(L, frame_height());
                lua_call(L, 3, 0);
                break;
        }
    };
    double best = 1e9;
    for (auto _ : state) {
        const double seconds = time_once(once, through_lua ? wall_seconds : thread_seconds);
        state.SetIterationTime(seconds);
        best = std::min(best, seconds);
    }
    if (through_lua) lua_settop(L, call - 1);
    rururev::parallel::set_plan_for_test(0, 0);
    if (!target.empty()) rururev::fast::limit_targets(std::getenv("RURUREV_TARGET"));
    const std::string plain_key = std::string(f.label) + "/plain";
    const std::string lua_key = std::string(f.label) + "/lua" + (target.empty() ? "" : "/" + target);
    if (variant == Variant::plain) measured()[plain_key] = best;
    if (variant == Variant::lua) measured()[lua_key] = best;
    const double pixels = double(frame_width()) * frame_height();
    state.counters["MP/s"] = pixels / best / 1e6;
    state.counters["x_pass"] = best / reference_seconds("pass", inplace_pass);
    state.counters["x_plain"] = reference_seconds(plain_key, f.plain) / best;
    if (variant == Variant::threads) {
        const auto found = measured().find(lua_key);
        if (found != measured().end()) state.counters["x_threads"] = found->second / best;
    }
}

void run_pass(benchmark::State& state) {
    double best = 1e9;
    for (auto _ : state) {
        const double seconds = time_once([](uint32_t* d) { inplace_pass(d, frame_width(), frame_height()); });
        state.SetIterationTime(seconds);
        best = std::min(best, seconds);
    }
    measured()["pass"] = best;
    state.counters["MP/s"] = double(frame_width()) * frame_height() / best / 1e6;
}

void register_all() {
    benchmark::RegisterBenchmark("pass", run_pass)->UseManualTime()->Unit(benchmark::kMillisecond);
    static const std::vector<BenchFilter> filters = bench_filters();
    const struct {
        const char* suffix;
        Variant variant;
    } variants[] = {{"/plain", Variant::plain}, {"/fast", Variant::fast}, {"/lua", Variant::lua},
                    {"/threads", Variant::threads}};
    for (const BenchFilter& f : filters) {
        for (const auto& v : variants) {
            const std::string name = std::string(f.label) + v.suffix;
            benchmark::RegisterBenchmark(name.c_str(), [&f, v](benchmark::State& s) {
                run_filter(s, f, v.variant);
            })->UseManualTime()->Unit(benchmark::kMillisecond);
        }
    }
    // Each filter through Lua on each target this processor has, one thread
    // and all threads: "label/lua/AVX2", "label/threads/AVX2".
    for (const int64_t bit : hwy::SupportedAndGeneratedTargets()) {
        const std::string target = hwy::TargetName(bit);
        for (const BenchFilter& f : filters) {
            for (const auto& v : {variants[2], variants[3]}) {
                const std::string name = std::string(f.label) + v.suffix + "/" + target;
                benchmark::RegisterBenchmark(name.c_str(), [&f, v, target](benchmark::State& s) {
                    run_filter(s, f, v.variant, target);
                })->UseManualTime()->Unit(benchmark::kMillisecond);
            }
        }
    }
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::register_all();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
