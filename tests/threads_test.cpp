// Filters over several threads, through Lua: the words of one thread, and
// nothing of ours left running once the Lua state closes, whatever the host does
// next (unload the module, call from two threads of its own, fork).
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "lua_fixture.h"
#include "module/module_state.h"
#include "registered.h"
#include "engine/parallel.h"
#include "engine/threads.h"

namespace {

// Every filter's words on a frame of w x h mixed pixels, one filter after
// the other, each on a fresh copy; `skip` names filters left out.
std::vector<std::vector<uint32_t>> every_filter(lua_State* L, uint32_t w, uint32_t h,
                                                const std::string& params,
                                                const std::vector<std::string>& skip = {}) {
    std::vector<uint32_t> frame(size_t{w} * h);
    for (uint32_t i = 0; i < frame.size(); i++) {
        frame[i] = (i * 0x9E3779B9u) >> (i % 3) ^ (i % 7 == 0 ? 0xFF000000u : 0u);
    }
    std::vector<std::vector<uint32_t>> words;
    for (const std::string& name : filter_names()) {
        if (std::find(skip.begin(), skip.end(), name) != skip.end()) continue;
        std::vector<uint32_t> px = frame;
        EXPECT_EQ(call_filter(L, name, px, w, h, params), "") << name << "(" << params << ")";
        words.push_back(std::move(px));
    }
    return words;
}

const char* const kParams[] = {"10, -20, 30, 2, 4278255360, 1, 2, 0, 1, true",
                               "2.2, 0, 256, 1, 2, 3, 4, 5, 6, true"};

// The words of one thread, from the module linked into the tests.
std::vector<std::vector<uint32_t>> one_thread_words(uint32_t w, uint32_t h, const char* params,
                                                    const std::vector<std::string>& skip = {}) {
    rururev::reset_module_state();
    rururev::parallel::set_plan_for_test(1, 1);
    lua_State* L = open_module_state();
    auto words = every_filter(L, w, h, params, skip);
    lua_close(L);
    rururev::parallel::set_plan_for_test(0, 0);
    rururev::reset_module_state();
    return words;
}

// The first line of /proc/self/`file` that holds `text`, or "".
std::string proc_line(const std::string& file, const std::string& text) {
    std::ifstream lines("/proc/self/" + file);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(text) != std::string::npos) return line;
    }
    return "";
}

// The built module, loaded and unloaded as a host does: a frame big enough
// for every filter to start threads, the state closed and the module
// unloaded right after the last call, again and again.
TEST(Threads, UnloadRightAfterACall) {
    constexpr uint32_t w = 512, h = 400;
    const auto expected = one_thread_words(w, h, kParams[0]);
    // ThreadSanitizer starts a thread of its own with the first thread the
    // process starts: this one, so that the count below is ours alone.
    std::thread([] {}).join();
    const std::string threads_before = proc_line("status", "Threads:");
    setenv("RURUREV_THREADS", "3", 1);  // read by each fresh load
    for (int round = 0; round < 3; round++) {
        void* module = dlopen(RURUREV_BUILD_DIR "/librururev.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto open = reinterpret_cast<lua_CFunction>(dlsym(module, "luaopen_librururev"));
        ASSERT_NE(open, nullptr);
        lua_State* L = luaL_newstate();
        luaL_openlibs(L);
        lua_pushcfunction(L, open);
        lua_pushstring(L, "librururev");
        ASSERT_EQ(lua_pcall(L, 1, 0, 0), 0);
        EXPECT_EQ(every_filter(L, w, h, kParams[0]), expected) << "round " << round;
        // The workers wait for the next call until the state closes.
        EXPECT_NE(proc_line("status", "Threads:"), threads_before);
        lua_close(L);
        EXPECT_EQ(proc_line("status", "Threads:"), threads_before);
        ASSERT_EQ(dlclose(module), 0);
        EXPECT_EQ(proc_line("maps", "librururev.so"), "") << "round " << round;
    }
    unsetenv("RURUREV_THREADS");
}

// Two host threads, each with a Lua state of its own, call filters at the
// same time (gamma with different exponents among them). Random alpha and
// frame change marking are left out: their generator and store are the
// process's, shared by design.
TEST(Threads, TwoHostThreadsWithTwoStates) {
    constexpr uint32_t w = 97, h = 61;
    const std::vector<std::string> skip = {"tovoAlp0", "tovoFrameCBA"};
    const auto first = one_thread_words(w, h, kParams[0], skip);
    const auto second = one_thread_words(w, h, kParams[1], skip);
    rururev::parallel::set_plan_for_test(3, 1);
    std::vector<std::vector<uint32_t>> got[2][4];
    auto host = [&](int k) {
        lua_State* L = open_module_state();
        for (auto& round : got[k]) round = every_filter(L, w, h, kParams[k], skip);
        lua_close(L);
    };
    std::thread a(host, 0), b(host, 1);
    a.join();
    b.join();
    rururev::parallel::set_plan_for_test(0, 0);
    for (int round = 0; round < 4; round++) {
        EXPECT_EQ(got[0][round], first) << "round " << round;
        EXPECT_EQ(got[1][round], second) << "round " << round;
    }
}

// A thread that cannot start leaves its part to the calling thread; a
// process forked after a call goes on splitting frames in the child.
TEST(Threads, StartFailureAndFork) {
    constexpr uint32_t w = 83, h = 59;
    for (const char* params : kParams) {
        const auto expected = one_thread_words(w, h, params);
        rururev::parallel::set_plan_for_test(4, 1);
        rururev::threads::fail_thread_starts_for_test(true);
        lua_State* L = open_module_state();
        EXPECT_EQ(every_filter(L, w, h, params), expected) << params;
        lua_close(L);
        rururev::threads::fail_thread_starts_for_test(false);
        rururev::reset_module_state();

        L = open_module_state();
        EXPECT_EQ(every_filter(L, w, h, params), expected) << params;
        rururev::reset_module_state();
        // A worker still starting may hold a sanitizer runtime's allocator
        // lock, which that runtime does not take around fork: the child's
        // threads would wait on it for ever.
        while (!rururev::threads::workers_parked_for_test()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) _exit(every_filter(L, w, h, params) == expected ? 0 : 1);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << params;
        lua_close(L);
        rururev::parallel::set_plan_for_test(0, 0);
        rururev::reset_module_state();
    }
}

}  // namespace
