-- Applies each filter of the table in src/cli/filters.lua that the built
-- librururev has, with its gallery arguments, to a picture, in the stock
-- interpreter: the reference that `rururev apply` is compared with.
-- Usage: lua5.1 filter_reference.lua BUILD_DIR FILTERS_LUA IN.png OUTDIR
-- Prints one line per filter applied: its name, then the words that follow
-- the name on an apply command line, tab-separated; a curve goes first as
-- --curve and its points.
local build, filters_lua, input, outdir = ...
package.cpath = build .. "/?.so;" .. package.cpath
local image = require "rururev_image"
local lib = require "librururev"
local filters = dofile(filters_lua)

local function word(value)
  if type(value) == "boolean" then return tostring(value) end
  return string.format("%.17g", value)
end

for _, f in ipairs(filters) do
  if lib[f.name] and (not f.curve or lib.tovoInterRGBset) then
    local words = {}
    if f.curve then
      local points = {}
      for level = 0, 360 do
        local y = f.curve(level)
        lib.tovoInterRGBset(level, y, level + 1)
        points[#points + 1] = word(level) .. ":" .. word(y) .. ":" .. word(level + 1)
      end
      words = {"--curve", table.concat(points, ",")}
    end
    local pic = image.load(input)
    pic:apply(lib[f.name], unpack(f.sample, 1, #f.sample))
    pic:save(outdir .. "/" .. f.name .. ".png")
    for _, v in ipairs(f.sample) do words[#words + 1] = word(v) end
    print(f.name .. "\t" .. table.concat(words, "\t"))
  end
end
