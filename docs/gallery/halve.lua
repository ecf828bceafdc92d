-- Halves a picture for the pictures of docs/api.md: each pixel is the rounded
-- mean of a 2 x 2 block, channel by channel. Usage:
--   build/rururev run docs/gallery/halve.lua IN.png OUT.png
local image = require "rururev_image"
local input, output = ...
local pic = image.load(input)
local w, h = pic:size()
local half = image.new(math.floor(w / 2), math.floor(h / 2))
for y = 0, half:height() - 1 do
  for x = 0, half:width() - 1 do
    local sum = {0, 0, 0, 0}
    for dy = 0, 1 do
      for dx = 0, 1 do
        local v = pic:get(2 * x + dx, 2 * y + dy)
        for c = 4, 1, -1 do sum[c] = sum[c] + v % 256; v = math.floor(v / 256) end
      end
    end
    local word = 0
    for c = 1, 4 do word = word * 256 + math.floor(sum[c] / 4 + 0.5) end
    half:set(x, y, word)
  end
end
half:save(output)
