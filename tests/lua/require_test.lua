-- Loads the built module the way a host script does and makes a first call.
-- Usage: lua5.1|luajit|lua5.2|lua5.3|lua5.4 require_test.lua [BUILD_DIR]
-- Without BUILD_DIR the module is found through the cpath alone (LUA_CPATH).
local dir = arg[1]
if dir then package.cpath = dir .. "/?.so;" .. package.cpath end

local m = require "librururev"
assert(type(m) == "table", "require returned " .. type(m))
assert(librururev == m, "the global librururev is the returned table")
assert(package.loaded.librururev == m)
-- Loaded again, it fills the global table it finds, as in Lua 5.1.
package.loaded.librururev = nil
assert(require "librururev" == m and package.loaded.librururev == m)

-- The 23 functions, and nothing else.
local names = {"daytime", "tovoNum", "tovoRGB", "tovoRGB2", "tovoHSV", "tovoHSV2", "tovoNega",
  "tovoMono", "tovo2Pns", "tovoAlp0", "tovoYCbCr", "tovoCSplt", "tovoCTracking", "tovoNStage",
  "tovoNStage2", "tovoGanma", "tovoFrameCBA", "tovoInterRGB", "tovoInterRGBset", "tovoInterHSV",
  "tovoHighShadow", "tovoHighShadowDoder", "tovoRngPut"}
local count = 0
for _ in pairs(m) do count = count + 1 end
for _, name in ipairs(names) do assert(type(m[name]) == "function", name) end
assert(count == #names, count .. " entries")

local stamp = m.daytime()
assert(stamp:match("^%d%d%d%d/%d%d/%d%d %a%a%a %d%d:%d%d:%d%d$"), "daytime: " .. stamp)

local a, b, c, d = m.tovoNum(1.5, 2.5, 3.5, 4.25)
assert(a == 1.5 and b == 2.5 and c == 3.5 and d == 4.25)
-- Numbers come back as they went, integers as integers where Lua has them.
a, b, c, d = m.tovoNum(1, 0xFF00FF00, -1, 2 ^ 60)
assert(a == 1 and b == 0xFF00FF00 and c == -1 and d == 2 ^ 60)
if math.type then
  assert(math.type(a) == "integer" and math.type(b) == "integer" and math.type(d) == "float")
end

-- A full userdata's block is accepted as a buffer; newproxy gives none, so
-- use a zero-sized call to check the calling convention instead.
assert(select("#", m.tovoRGB(nil, 0, 0, 1, 2, 3, 4)) == 1)
local ok, err = pcall(m.tovoRGB, nil, 1, 1, 0, 0, 0, 0)
assert(not ok and err:find("pixel buffer expected, got nil", 1, true), err)

print((jit and jit.version or _VERSION) .. ": ok, " .. stamp)
