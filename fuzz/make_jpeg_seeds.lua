-- Writes the seed corpus of jpeg_fuzzer: small JPEG files, grey and colour,
-- baseline and progressive, at several qualities and sizes that do not fill
-- whole blocks, and a few damaged ones (cut short, a size beyond the limit).
--
-- Usage: build/rururev run fuzz/make_jpeg_seeds.lua OUTDIR
local image = require "rururev_image"
local outdir = assert(..., "usage: make_jpeg_seeds.lua OUTDIR")

local function picture(w, h, grey)
  local pic = image.new(w, h)
  for y = 0, h - 1 do
    for x = 0, w - 1 do
      local r = math.floor(x * 255 / w)
      local g = grey and r or math.floor(y * 255 / h)
      local b = grey and r or (x * 37 + y * 11) % 256
      pic:set(x, y, ((255 * 256 + r) * 256 + g) * 256 + b)
    end
  end
  return pic
end

local function read(path)
  local f = assert(io.open(path, "rb"))
  local bytes = f:read("*a")
  f:close()
  return bytes
end

local function write(path, bytes)
  local f = assert(io.open(path, "wb"))
  f:write(bytes)
  f:close()
end

local seeds = {
  {"grey_8x8", 8, 8, true, {}},
  {"colour_16x16", 16, 16, false, {}},
  {"colour_17x9_q10", 17, 9, false, {quality = 10}},
  {"colour_24x8_q100", 24, 8, false, {quality = 100}},
  {"progressive_17x9", 17, 9, false, {progressive = true}},
  {"progressive_grey_9x17", 9, 17, true, {progressive = true}},
}
for _, s in ipairs(seeds) do
  picture(s[2], s[3], s[4]):save(outdir .. "/" .. s[1] .. ".jpg", s[5])
end

-- Damaged: cut in the scan, and a frame header of 30000 x 30000 pixels.
local good = read(outdir .. "/colour_16x16.jpg")
write(outdir .. "/cut.jpg", good:sub(1, #good - 40))
local sof = good:find("\255\192", 1, true)
write(outdir .. "/beyond_limit.jpg",
      good:sub(1, sof + 4) .. "\117\48\117\48" .. good:sub(sof + 9))
