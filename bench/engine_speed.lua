-- Each buffer filter's speed, in megapixels a second, over a 1920 x 1080
-- picture with its gallery arguments, in whichever Lua runs this script:
-- the playground's engine under Node against the native module on one
-- thread (see docs/performance.md).
-- Usage: LUA engine_speed.lua BUILD_DIR FILTERS_LUA [SECONDS]
local dir, filters_lua, seconds = arg[1], arg[2], tonumber(arg[3]) or 0.3
assert(dir and filters_lua, "usage: engine_speed.lua BUILD_DIR FILTERS_LUA [SECONDS]")
package.cpath = dir .. "/?.so;" .. package.cpath
local image = require "rururev_image"
local lib = require "librururev"

-- Colours that vary like a photo's: smooth ramps with a little noise.
local w, h = 1920, 1080
local source = image.new(w, h, 0)
local seed = 1
for y = 0, h - 1 do
  for x = 0, w - 1 do
    seed = (seed * 1103515245 + 12345) % 2147483648
    local n = seed % 16
    source:set(x, y, 0xFF000000 + ((x * 255 / w + n) % 256) * 65536
                   + ((y * 255 / h + n) % 256) * 256 + ((x + y) % 256))
  end
end

print(string.format("%-16s %8s", "filter", "MP/s"))
for _, f in ipairs(dofile(filters_lua)) do
  local pic = source:copy()
  local calls, started = 0, os.clock()
  repeat
    pic:apply(lib[f.name], unpack(f.sample))
    calls = calls + 1
  until os.clock() - started >= seconds
  print(string.format("%-16s %8.1f", f.name, calls * w * h / 1e6 / (os.clock() - started)))
end
