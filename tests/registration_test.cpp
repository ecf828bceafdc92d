// The function table: exactly the 23 functions, in their registration order,
// each reachable from Lua under its own name.
#include "lua_fixture.h"
#include "module/module_state.h"

namespace rururev {
extern const luaL_Reg functiontable[];
}

namespace {
const char* const registration_order[] = {
    "daytime",       "tovoNum",         "tovoRGB",      "tovoRGB2",       "tovoHSV",
    "tovoHSV2",      "tovoNega",        "tovoMono",     "tovo2Pns",       "tovoAlp0",
    "tovoYCbCr",     "tovoCSplt",       "tovoCTracking", "tovoNStage",    "tovoNStage2",
    "tovoGanma",     "tovoFrameCBA",    "tovoInterRGB", "tovoInterRGBset", "tovoInterHSV",
    "tovoHighShadow", "tovoHighShadowDoder", "tovoRngPut",
};
}  // namespace

using Registration = LuaTest;

TEST_F(Registration, TableHoldsTheFunctionsInOrder) {
    size_t n = 0;
    for (const luaL_Reg* r = rururev::functiontable; r->name != nullptr; r++, n++) {
        ASSERT_LT(n, std::size(registration_order));
        EXPECT_STREQ(r->name, registration_order[n]);
        EXPECT_NE(r->func, nullptr);
    }
    EXPECT_EQ(n, std::size(registration_order));
    EXPECT_EQ(rururev::functiontable[n].func, nullptr);

    // The Lua table holds those functions and nothing else.
    run("local n = 0\n"
        "for name, f in pairs(librururev) do\n"
        "  n = n + 1\n"
        "  assert(type(f) == 'function', name)\n"
        "end\n"
        "count = n");
    EXPECT_EQ(eval_number("count"), std::size(registration_order));
    for (size_t i = 0; i < std::size(registration_order); i++) {
        run(std::string("assert(librururev.") + registration_order[i] + " == package.loaded." +
            "librururev." + registration_order[i] + ")");
    }
}

// The rururev program's filter table (src/cli/filters.lua) against the module
// itself: every buffer filter in registration order, each with as many
// parameters as its binding reads. The binding reads its last listed
// parameter when some value of it changes the result, and reads no further
// when no value of the next argument does.
namespace {

std::vector<uint32_t> probe_base, probe_a, probe_b;

// reset(): both buffers back to their first words and the module's state
// (curve, frame store, random draws) back to its start.
int probe_reset(lua_State* L) {
    probe_a = probe_base;
    probe_b = probe_base;
    for (size_t i = 0; i < probe_b.size(); i++) probe_b[i] ^= (i * 0x01030507u) & 0x00FFFFFFu;
    rururev::reset_module_state();
    set_buffer(L, probe_a.data(), "a");
    set_buffer(L, probe_b.data(), "b");
    return 0;
}

// words(): buffer b's words as one string, to compare outcomes.
int probe_words(lua_State* L) {
    lua_pushlstring(L, reinterpret_cast<const char*>(probe_b.data()), probe_b.size() * 4);
    return 1;
}

}  // namespace

TEST_F(Registration, ProgramFilterTableListsEveryBufferFilterWithItsArguments) {
    probe_base.resize(16 * 16);
    const uint32_t alphas[] = {0u, 1u, 0x80u, 0xFFu};
    for (uint32_t i = 0; i < probe_base.size(); i++) {
        probe_base[i] = ((i * 0x9E3779B9u) & 0x00FFFFFFu) | alphas[i % 4] << 24;
    }
    lua_register(L, "reset", probe_reset);
    lua_register(L, "words", probe_words);

    // Every buffer filter of filter_list.inc with its parameters, its line
    // and its parameters' lines, as the program's table reads them from the
    // list's text.
    std::string module_filters;
    for (const char* row : {
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) \
    #name " " kinds " | " about,
#define RURUREV_KERNEL_ONLY(name, kinds, params, about, sample) #name " " kinds " | " about,
#include "filters/filter_list.inc"
         }) {
        module_filters += std::string(row) + "\n";
    }
    run("filters = dofile('" RURUREV_FILTERS_LUA "')\n"
        "listed = ''\n"
        "for _, spec in ipairs(filters) do\n"
        "  listed = listed .. spec.name .. ' ' .. spec.params .. ' | ' .. spec.about\n"
        "  local i = 0\n"
        "  for param in spec.params:gmatch('([%w_]+):') do\n"
        "    i = i + 1\n"
        "    listed = listed .. '\\n' .. param .. ' ' .. spec.notes[i]\n"
        "  end\n"
        "  listed = listed .. '\\n'\n"
        "end");
    lua_getglobal(L, "listed");
    EXPECT_EQ(lua_tostring(L, -1), module_filters);
    lua_pop(L, 1);

    run(R"(
      local values = {0, 1, -1, 2, 7, 60, 100, 128, 255, 256, 1000, 0x7FFFFFFF, -0x80000000,
                      0xFF00FF00, 0.5, true, false}
      local function outcome(spec, args, n)
        reset()
        math.randomseed(7)
        if spec.curve then
          for level = 0, 360 do
            librururev.tovoInterRGBset(level, spec.curve(level), level + 1)
          end
        end
        local f = librururev[spec.name]
        f(a, 16, 16, unpack(args, 1, n))
        f(b, 16, 16, unpack(args, 1, n))
        return words()
      end
      local function with(args, n, i, v)
        local t = {unpack(args, 1, n)}
        t[i] = v
        return t
      end
      -- Whether some value of argument i changes the result of args.
      local function changes(spec, args, n, i)
        local base = outcome(spec, args, n)
        for _, v in ipairs(values) do
          if outcome(spec, with(args, n, i, v), n) ~= base then return true end
        end
        return false
      end
      -- The same, where an earlier parameter may also need another value
      -- (a switch that matters only once a weight is set).
      local function read(spec, n)
        if changes(spec, spec.sample, n, n) then return true end
        for j = 1, n - 1 do
          for _, w in ipairs(values) do
            if changes(spec, with(spec.sample, n, j, w), n, n) then return true end
          end
        end
        return false
      end
      for _, spec in ipairs(filters) do
        local n = select(2, spec.params:gsub('%S+', ''))
        assert(read(spec, n),
               spec.name .. ': no value of argument ' .. n + 3 .. ' changes the result')
        assert(not changes(spec, spec.sample, n + 1, n + 1),
               spec.name .. ' reads argument ' .. n + 4 .. ', which the table does not list')
      end
    )");
}
