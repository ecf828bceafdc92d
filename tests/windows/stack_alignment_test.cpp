// Every filter called with the stack at each alignment a Windows host may
// give: a 32-bit caller promises 4 bytes, a 64-bit one 16, while vector
// spills want 16 or 32. Each call goes through a thunk that offsets the
// stack before calling the Lua C function, on every SIMD target compiled in,
// and must write the words of an ordinary call. The module here is the one
// linked into this program, so that the tests can choose its target.
#include <cstdio>
#include <vector>

#include <hwy/targets.h>

#include "lua_fixture.h"
#include "registered.h"

// Calls f(L) with the stack pointer lowered by offset bytes below an
// alignment of 32 (its return address then sits at every residue the
// offsets reach).
extern "C" int call_with_stack_offset(lua_CFunction f, lua_State* L, unsigned offset)
    __asm__("rururev_call_with_stack_offset");

#if defined(__i386__)
__asm__(".text\n"
        "rururev_call_with_stack_offset:\n"
        "  pushl %ebp\n"
        "  movl %esp, %ebp\n"
        "  andl $-32, %esp\n"
        "  subl 16(%ebp), %esp\n"
        "  pushl 12(%ebp)\n"
        "  call *8(%ebp)\n"
        "  movl %ebp, %esp\n"
        "  popl %ebp\n"
        "  ret\n");
constexpr unsigned kOffsets[] = {0, 4, 8, 12, 16, 20, 24, 28};
#elif defined(__x86_64__)
__asm__(".text\n"
        "rururev_call_with_stack_offset:\n"
        "  pushq %rbp\n"
        "  movq %rsp, %rbp\n"
        "  andq $-64, %rsp\n"
        "  subq %r8, %rsp\n"
        "  subq $32, %rsp\n"  // the callee's home area for its register arguments
        "  movq %rcx, %rax\n"
        "  movq %rdx, %rcx\n"
        "  callq *%rax\n"
        "  movq %rbp, %rsp\n"
        "  popq %rbp\n"
        "  ret\n");
// The 64-bit convention keeps 16; the 64-byte vectors' stack arrays may sit
// at any multiple of 16 from a 64-byte boundary.
constexpr unsigned kOffsets[] = {0, 16, 32, 48};
#endif

namespace {

// misaligned(f, offset, ...) calls the C function f on the arguments that
// follow, through the thunk.
int misaligned(lua_State* L) {
    const lua_CFunction f = lua_tocfunction(L, 1);
    const auto offset = static_cast<unsigned>(lua_tointeger(L, 2));
    lua_remove(L, 1);
    lua_remove(L, 1);
    return call_with_stack_offset(f, L, offset);
}

constexpr uint32_t kWidth = 67, kHeight = 5;

const char* const kCaller = R"(
lib = require "librururev"
filters = {}
for _, f in ipairs(dofile(RURUREV_FILTERS_LUA)) do filters[f.name] = f end
function call(name, offset)
  local f = assert(filters[name], name .. " has no sample arguments")
  if f.curve then for l = 0, 360 do lib.tovoInterRGBset(l, f.curve(l), l + 1) end end
  -- The frame store holds the same previous frame before every call.
  if name == "tovoFrameCBA" then lib.tovoFrameCBA(prev, W, H, 0, 12, 12, 12, 4, 0xFF0000, false) end
  if offset then misaligned(lib[name], offset, buf, W, H, unpack(f.sample))
  else lib[name](buf, W, H, unpack(f.sample)) end
end
)";

std::vector<uint32_t> mixed_pixels(uint32_t seed) {
    std::vector<uint32_t> words(kWidth * kHeight);
    for (uint32_t i = 0; i < words.size(); i++) words[i] = (i + seed) * 0x9E3779B9u;
    return words;
}

}  // namespace

TEST(StackAlignment, EveryFilterWritesTheSameWordsAtEveryStackOffset) {
    std::string compiled, here;
    for (int64_t rest = HWY_TARGETS; rest != 0; rest &= rest - 1) {
        compiled += std::string(" ") + hwy::TargetName(rest & -rest);
    }
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        here += std::string(" ") + hwy::TargetName(target);
    }
    std::printf("Fast-path targets compiled in:%s; on this CPU:%s\n", compiled.c_str(), here.c_str());
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    preload_linked_module(L);
    lua_register(L, "misaligned", misaligned);
    lua_pushstring(L, RURUREV_FILTERS_LUA);
    lua_setglobal(L, "RURUREV_FILTERS_LUA");
    lua_pushinteger(L, kWidth);
    lua_setglobal(L, "W");
    lua_pushinteger(L, kHeight);
    lua_setglobal(L, "H");
    std::vector<uint32_t> prev = mixed_pixels(7), buf;
    lua_pushlightuserdata(L, prev.data());
    lua_setglobal(L, "prev");
    ASSERT_EQ(run_chunk(L, kCaller), "");

    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        for (const std::string& name : filter_names()) {
            std::vector<uint32_t> want = mixed_pixels(0);
            lua_pushlightuserdata(L, want.data());
            lua_setglobal(L, "buf");
            ASSERT_EQ(run_chunk(L, "call('" + name + "')"), "");
            for (const unsigned offset : kOffsets) {
                buf = mixed_pixels(0);
                lua_pushlightuserdata(L, buf.data());
                lua_setglobal(L, "buf");
                ASSERT_EQ(run_chunk(L, "call('" + name + "', " + std::to_string(offset) + ")"), "");
                EXPECT_EQ(buf, want) << name << " on " << hwy::TargetName(target)
                                     << ", stack offset " << offset;
            }
        }
        hwy::SetSupportedTargetsForTest(0);
    }
    lua_close(L);
}
