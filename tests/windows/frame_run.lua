-- Runs every filter of src/cli/filters.lua with its gallery arguments over
-- the benchmark's 1920 x 1080 frame, through the librururev and rururev_frame
-- found on the given cpath, and prints one line per filter: its name, a
-- digest of the words it wrote and its fastest time of REPS runs in ms.
-- Usage: lua frame_run.lua CPATH FILTERS_LUA REPS
local cpath, filters_lua, reps = ...
package.cpath = cpath
local lib = require "librururev"
local frame = require "rururev_frame"
local W, H = 1920, 1080
local original = frame.new(W, H)
local work = frame.new(W, H)

-- The little of a picture that the gallery's before() functions use.
local function picture(words)
  return {
    copy = function() local c = frame.new(W, H); frame.copy(c, words); return picture(c) end,
    size = function() return W, H end,
    set = function(_, x, y, word) frame.set(words, y * W + x, word) end,
    apply = function(_, f, ...) f(words, W, H, ...) end,
  }
end

for _, f in ipairs(dofile(filters_lua)) do
  local best, digest = math.huge, nil
  for _ = 1, tonumber(reps) do
    frame.copy(work, original)
    if f.curve then
      for level = 0, 360 do lib.tovoInterRGBset(level, f.curve(level), level + 1) end
    end
    if f.before then f.before(lib, picture(work)) end
    local start = frame.now()
    lib[f.name](work, W, H, unpack(f.sample))
    best = math.min(best, frame.now() - start)
    digest = digest or frame.digest(work)
  end
  print(string.format("%s %s %.2f", f.name, digest, best * 1000))
end
