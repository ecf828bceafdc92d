-- Every filter's exact words over one small picture, in whichever Lua runs
-- this script: the same expected words hold in lua5.1, luajit and lua5.2 to
-- lua5.4. Each case runs again with its numbers written in other ways that
-- must give the same words: as floats, with fractions that truncate away,
-- with colour words from 2^31 up as negative numbers (-1 is 0xFFFFFFFF), and,
-- where Lua has integers, with words and bytes beyond 2^53 that keep the
-- same low bits.
-- Usage: LUA filter_words.lua BUILD_DIR FILTERS_LUA
-- FILTERS_LUA (src/cli/filters.lua) gives each filter's parameter types, and
-- every filter it lists must have a case here.
local dir, filters_lua = arg[1], arg[2]
assert(dir and filters_lua, "usage: filter_words.lua BUILD_DIR FILTERS_LUA")
package.cpath = dir .. "/?.so;" .. package.cpath
local image = require "rururev_image"
local lib = require "librururev"
local unpack = table.unpack or unpack

-- 4 x 2 words: opaque, transparent, half and nearly half transparent, white,
-- black, pure green and a dark blue.
local input = {0xFF336699, 0x00123456, 0x80FF0000, 0xFFFFFFFF,
               0xFF000000, 0x7F808080, 0xFF00FF00, 0xC01080F0}

-- {filter, parameters..., want = the words after the call}; before: calls
-- made first on the same picture, as written.
local cases = {
  {"tovoRGB", 10, -20, 30, -40,
   want = {0xD73D52B7, 0x001C2074, 0x58FF001E, 0xD7FFEBFF, 0xD70A001E, 0x578A6C9E, 0xD70AEB1E, 0x981A6CFF}},
  {"tovoRGB2", 10, -20, 30, -40,
   want = {0xD73D52B7, 0x00123456, 0x58FF001E, 0xD7FFEBFF, 0xD70A001E, 0x578A6C9E, 0xD70AEB1E, 0x981A6CFF}},
  {"tovoHSV", 25, -40, 30, -10,
   want = {0xF55A61B7, 0x00123456, 0x76FF8228, 0xF5FFFFFF, 0xF51E1E1E, 0x759E9E9E, 0xF528FF82, 0xB6394AFF}},
  {"tovoHSV2", -120, 40, 0, 0, 0xFF00FF00, 100,
   want = {0xFF336699, 0x00123456, 0x80FF0000, 0xFFFFFFFF, 0xFF000000, 0x7F808080, 0xFF2828FF, 0xC01080F0}},
  {"tovoNega", -30, 255, 255, 10,
   want = {0xFFAD5700, 0x00123456, 0x80BD5F00, 0xFF0A0500, 0xFFFF8000, 0x7F894500, 0xFF743A00, 0xC09E4F00}},
  {"tovoMono", 10, -20, 30, 5, true,
   want = {0xFF6D6D6D, 0x00123456, 0x805B5B5B, 0xFFFFFFFF, 0xFF050505, 0x7F8F8F8F, 0xFF868686, 0xC0838383}},
  {"tovo2Pns", 10, 20, 30, -5, 257, 200, 40,
   want = {0xFF2828C8, 0x00123456, 0x802828C8, 0xFF2828C8, 0xFF2828C8, 0x7F2828C8, 0xFF2828C8, 0xC028C828}},
  {"tovoAlp0", 0, 7, 50,
   want = {0x7F336699, 0x00123456, 0x7FFF0000, 0x7FFFFFFF, 0x7F000000, 0x7F808080, 0x7F00FF00, 0x7F1080F0}},
  {"tovoYCbCr", 255, 10, 10, -1,
   want = {0x00336699, 0x00123456, 0x00FF0000, 0xFFFFFFFF, 0xFF000000, 0x7F808080, 0x0000FF00, 0x001080F0}},
  {"tovoCSplt", 359, 255, 255, -30, 0xFF0000, 0, -1, 0, 0xFFFFFFFF,
   want = {0xFF456F99, 0x00123456, 0x80FF1E1E, 0xFFFFFFFF, 0xFF000000, 0x7F808080, 0xFF1EFF1E, 0xC02C8EF0}},
  {"tovoCTracking", 30, 60, 60, 20, 0xFF336699, 0, 1, 0, 1,
   want = {0xFF276099, 0x00123456, 0x00FF0000, 0x00FFFFFF, 0x00000000, 0x00808080, 0x0000FF00, 0x001080F0}},
  {"tovoNStage", 7, 10, -20, 30, true,
   want = {0xFF484848, 0x00123456, 0x80909090, 0xFF909090, 0xFF909090, 0x7F6C6C6C, 0xFF909090, 0xC0484848}},
  {"tovoNStage2", 6, -10, 20, -30, true,
   want = {0xFF545454, 0x00123456, 0x807E7E7E, 0xFF7E7E7E, 0xFF7E7E7E, 0x7F7E7E7E, 0xFF7E7E7E, 0xC07E7E7E}},
  {"tovoGanma", 2.2, 10, -10, 5,
   want = {0xFF001C5E, 0x00000435, 0x80D00000, 0xFFFFF2FF, 0xFF000000, 0x7F422E3D, 0xFF00AE00, 0xC00031B0}},
  -- The first frame fills the emptied store; the second, shifted in colour,
  -- is compared with it.
  {"tovoFrameCBA", 0, 20, 10, 10, 1, 0xFFFF00FF, true,
   want = {0xFFFF00FF, 0x00FF00FF, 0x80FF00FF, 0xFFFF00FF, 0xFFFF00FF, 0x7FFF00FF, 0xFFFF00FF, 0xC0FF00FF},
   before = {{"tovoFrameCBA", 0, 20, 10, 10, 1, 0xFFFF00FF, true}, {"tovoRGB", 15, -15, 5, 0}}},
  {"tovoFrameCBA", 0, 5, 5, 5, 3, 0xFF00FF00, false,
   want = {0xFF00FF00, 0x00123456, 0x80FF0000, 0xFF00FF00, 0xFF040000, 0x7F847780, 0xFF00FF00, 0xC01477F0},
   before = {{"tovoFrameCBA", 0, 5, 5, 5, 3, 0xFF00FF00, false}, {"tovoRGB2", 4, -9, 0, 0}}},
  {"tovoInterRGB", 75, 0, 200,
   want = {0xFF644BA1, 0x00123456, 0x80DF0E0E, 0xFFDFDFDF, 0xFF0E0E0E, 0x7F9A9A9A, 0xFF0EDF0E, 0xC02D9AFF}},
  {"tovoInterRGB", 75, 13, 200,
   want = {0xD3336699, 0x00123456, 0x8EFF0000, 0xDFFFFFFF, 0xFF000000, 0x99808080, 0xD300FF00, 0xA11080F0}},
  {"tovoInterHSV", 60, 1, 90,
   want = {0xFF477099, 0x00123456, 0x80FF4040, 0xFFFFE3E3, 0xFF000000, 0x7F807272, 0xFF40FF40, 0xC01C86F0}},
  {"tovoHighShadow", 230, 20, 5, 90, 250, 10,
   want = {0xFF2D5B87, 0x00123456, 0x80D30000, 0xFFD3D4D4, 0xFF161717, 0x7F757575, 0xFF00D300, 0xC00D6BC8}},
  {"tovoHighShadowDoder", 200, 40, -5, 110, 255, 0,
   want = {0xFF3B6A99, 0x00123456, 0x80FF2828, 0xFFFFD9D9, 0xFF000000, 0x7F806D6D, 0xFF28FF28, 0xC03291F0}},
  {"tovoRngPut", 60, 80, 1, 0xFF00FF00, 257,
   want = {0xFF336699, 0x00123456, 0x80FF0000, 0x00FFFFFF, 0x00000000, 0x7F808080, 0xFF00FF00, 0xC01080F0}},
}

-- Parameter types by filter, from "name:type" words; w and h are words too.
local types = {}
for _, f in ipairs(dofile(filters_lua)) do
  types[f.name] = {"dword", "dword"}
  for t in f.params:gmatch(":(%a+)") do types[f.name][#types[f.name] + 1] = t end
end

-- 2^60 as an integer where Lua has them: adding it keeps the low 32 bits.
local wide = math.type and math.type(1152921504606846976) == "integer" and 1152921504606846976

-- The arguments after the buffer, as written and rewritten.
local function variants(name, args)
  local list = {{"as written", args}, {"as floats", {}}, {"with fractions", {}},
                {"colour words negative", {}}}
  if wide then list[#list + 1] = {"words beyond 2^53", {}} end
  for i, v in ipairs(args) do
    local t = types[name][i]
    local word = t == "dword" or t == "colour" or t == "byte"
    local float, fraction, negative, beyond = v, v, v, v
    if type(v) == "number" then
      if v + 0.0 == v then float = v + 0.0 end
      if t ~= "float" then fraction = v < 0 and v - 0.25 or v + 0.25 end
      if (t == "dword" or t == "colour") and v >= 2147483648 then negative = v - 4294967296 end
      if wide and word and math.type(v) == "integer" then beyond = v + wide end
    end
    list[2][2][i], list[3][2][i], list[4][2][i] = float, fraction, negative
    if wide then list[5][2][i] = beyond end
  end
  return list
end

-- "a, b, c", each value as text (or through format).
local function list(values, format)
  local out = {}
  for i, v in ipairs(values) do out[i] = format and format:format(v) or tostring(v) end
  return table.concat(out, ", ")
end

local function hex(words) return "{" .. list(words, "0x%08X") .. "}" end

-- The curve the curve filters read: displacements either way, with fractions.
for i = 1, 361 do lib.tovoInterRGBset(i - 1, ((i * 37) % 101 - 50) * 0.73, i) end
-- A frame of another size empties the frame store.
local one = image.new(1, 1)

local failures, covered = 0, {}
for _, c in ipairs(cases) do
  local name = c[1]
  covered[name] = true
  assert(types[name], name .. " is not in " .. filters_lua)
  assert(hex(c.want) ~= hex(input), name .. ": a case that changes nothing compares nothing")
  for _, v in ipairs(variants(name, {4, 2, unpack(c, 2)})) do
    lib.tovoFrameCBA(one:data(), 1, 1)
    local pic = image.new(4, 2)
    for i, word in ipairs(input) do pic:set((i - 1) % 4, math.floor((i - 1) / 4), word) end
    for _, b in ipairs(c.before or {}) do lib[b[1]](pic:data(), 4, 2, unpack(b, 2)) end
    lib[name](pic:data(), unpack(v[2]))
    local got = {}
    for i = 1, #input do got[i] = pic:get((i - 1) % 4, math.floor((i - 1) / 4)) end
    if hex(got) ~= hex(c.want) then
      failures = failures + 1
      print(("FAIL %s(%s) %s: want = %s"):format(name, list({unpack(c, 2)}), v[1], hex(got)))
    end
  end
end
for _, f in ipairs(dofile(filters_lua)) do
  if not covered[f.name] then
    failures = failures + 1
    print("FAIL " .. f.name .. " has no case")
  end
end
if failures > 0 then os.exit(1) end
print(("%s: %d cases, the same words every way"):format(jit and jit.version or _VERSION, #cases))
