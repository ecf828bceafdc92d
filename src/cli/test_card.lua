-- The built-in test card, for the gallery and the preview of the rururev
-- program: require "rururev_test_card" gives a function that draws it.

local image = require "rururev_image"

local function word(a, r, g, b)
  return ((a * 256 + r) * 256 + g) * 256 + b
end

-- Hue in degrees, saturation and value 0 to 1, to 0..255 channels.
local function hsv(h, s, v)
  h = (h % 360) / 60
  local sector = math.floor(h)
  local f = h - sector
  local p, q, t = v * (1 - s), v * (1 - s * f), v * (1 - s * (1 - f))
  local rgb = ({{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}})[sector + 1]
  local function byte(x) return math.floor(x * 255 + 0.5) end
  return byte(rgb[1]), byte(rgb[2]), byte(rgb[3])
end

-- The test card, 256 x 192 ------------------------------------------------
--   top left, 128 x 128: a hue wheel, saturation growing outwards, on grey
--   top right, 128 x 128: hues across, saturation ramp above, value below
--   rows 128 to 159: a grey ramp, 0 to 255 across
--   rows 160 to 191: hues across with an alpha ramp, then a fully
--   transparent block (alpha 0, colour kept) in the last 64 columns

local function test_card()
  local pic = image.new(256, 192, word(255, 128, 128, 128))
  for y = 0, 127 do
    for x = 0, 127 do
      local dx, dy = x - 63.5, y - 63.5
      local radius = math.sqrt(dx * dx + dy * dy)
      if radius <= 62 then
        local angle = math.deg(math.atan2(-dy, dx))
        pic:set(x, y, word(255, hsv(angle, radius / 62, 1)))
      end
    end
  end
  for y = 0, 127 do
    for x = 128, 255 do
      local hue = (x - 128) * 360 / 128
      local s, v = 1, 1
      if y < 64 then s = y / 63 else v = (127 - y) / 63 end
      pic:set(x, y, word(255, hsv(hue, s, v)))
    end
  end
  for y = 128, 159 do
    for x = 0, 255 do pic:set(x, y, word(255, x, x, x)) end
  end
  for y = 160, 191 do
    for x = 0, 191 do
      pic:set(x, y, word(math.floor(x * 255 / 191 + 0.5), hsv(x * 360 / 192, 1, 1)))
    end
    for x = 192, 255 do pic:set(x, y, word(0, 64, 192, 128)) end
  end
  return pic
end

return test_card
