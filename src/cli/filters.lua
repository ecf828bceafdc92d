-- The buffer filters of librururev, in registration order.
--
-- Each entry holds a filter's name, its parameters after data, w and h
-- ("name:kind", with the kinds int, dword, colour, byte, float and bool), a
-- line on what it does (about), a line per parameter on what it does and its
-- useful range (notes, in the order of params) and the arguments the gallery and the preview
-- start from (sample, as Lua values). All of these come from the filter's
-- row of src/filters/filter_list.inc, read here as text: the rururev program
-- passes the copy it carries, and a script that runs this file from the
-- source tree reads the list beside it. The program builds its usage
-- message and checks command lines from this table, and the gallery walks
-- it, so a filter added to the list appears in both.
--
-- Optional fields for the gallery, added below by name:
--   curve(level)  the displacement set at every curve position before the
--                 call (tovoInterRGBset(level, curve(level), level + 1))
--   before(lib, pic)  a call made on the picture's copy first
--   note          one more line for the tile's label

local gallery_extras = {
  tovoFrameCBA = {
    note = "after a frame with a black square",
    before = function(lib, pic)
      -- The previous frame is the same picture with a square painted over
      -- it, stored unmarked: with chk0 false unchanged pixels keep their
      -- colour.
      local prev = pic:copy()
      local w, h = prev:size()
      for y = math.floor(h / 8), math.floor(h / 8) + math.floor(h / 3) do
        for x = math.floor(w * 17 / 32), math.floor(w * 17 / 32) + math.floor(h / 3) do
          if x < w and y < h then prev:set(x, y, 0xFF000000) end
        end
      end
      prev:apply(lib.tovoFrameCBA, 0, 12, 12, 12, 4, 0xFF0000, false)
    end},
  tovoInterRGB = {
    note = "curve: S, 40 levels either way",
    curve = function(level) return 40 * math.sin(2 * math.pi * level / 255) end},
  tovoInterHSV = {
    note = "curve: hues up to 90 degrees on",
    curve = function(level) return -90 * math.sin(math.pi * level / 360) end},
}

local list = ...
if type(list) ~= "string" then
  local here = debug.getinfo(1, "S").source:match("^@(.*[/\\])") or "./"
  local file = assert(io.open(here .. "../filters/filter_list.inc", "rb"))
  list = file:read("*a")
  file:close()
end

-- One sample word as the Lua value a call passes for a parameter of `kind`.
local function sample_value(word, kind)
  if kind == "bool" then
    if word == "true" or word == "false" then return word == "true" end
  else
    return tonumber(word)
  end
end

-- A row's text from its opening parenthesis: name, kinds, about with a
-- literal per parameter ("\\nNAME line"), sample.
local function entry_of(row)
  local name = row:match("^%(([%w_]+),")
  local strings = {}
  for s in row:gmatch('"(.-)"') do strings[#strings + 1] = s end
  if not name or #strings < 3 then
    error("filter_list.inc: a row needs a name, then kinds, about and sample strings: " .. row)
  end
  local entry = {name = name, params = strings[1], about = strings[2], notes = {},
                 sample = {}}
  local n = 0
  for param in strings[1]:gmatch("([%w_]+):%a+") do
    n = n + 1
    local note = strings[2 + n] and strings[2 + n]:match("^\\n" .. param .. " (.+)$")
    if not note then error("filter_list.inc: " .. name .. " has no line for " .. param) end
    entry.notes[n] = note
  end
  if #strings ~= n + 3 then error("filter_list.inc: " .. name .. " has lines beyond its parameters") end
  local words = {}
  for word in strings[n + 3]:gmatch("%S+") do words[#words + 1] = word end
  n = 0
  for _, kind in strings[1]:gmatch("([%w_]+):(%a+)") do
    n = n + 1
    entry.sample[n] = words[n] and sample_value(words[n], kind)
    if entry.sample[n] == nil then
      error("filter_list.inc: " .. name .. "'s sample has no " .. kind .. " at " .. n)
    end
  end
  if #words ~= n then error("filter_list.inc: " .. name .. "'s sample has " .. #words .. " words") end
  return entry
end

local filters = {}
for kind, row in list:gmatch("\nRURUREV_([%u_]+)(%b())") do
  if kind == "FILTER" or kind == "KERNEL_ONLY" then
    local entry = entry_of(row)
    for field, value in pairs(gallery_extras[entry.name] or {}) do entry[field] = value end
    gallery_extras[entry.name] = nil
    filters[#filters + 1] = entry
  end
end
local stray = next(gallery_extras)
if stray then error("filters.lua: " .. stray .. " is not a filter of filter_list.inc") end

return filters
