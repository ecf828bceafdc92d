-- Photos in the engine's in-memory file system: a JPEG saved there, given a
-- camera's EXIF orientation, loads upright as `rururev apply` reads it.
-- Usage (in the engine): photo_test.lua FOLDER
local image = require "rururev_image"
local dir = assert(arg[1], "usage: photo_test.lua FOLDER")

-- 16 x 8, black on the left, white on the right.
local pic = image.new(16, 8, 0xFF000000)
for y = 0, 7 do for x = 8, 15 do pic:set(x, y, 0xFFFFFFFF) end end
pic:save(dir .. "/plain.jpg", {quality = 95})
local f = assert(io.open(dir .. "/plain.jpg", "rb"))
local jpeg = f:read("*a")
f:close()

-- APP1 after SOI: big-endian TIFF, one entry, orientation (0x0112) = 6.
local exif = "\255\225\0\34Exif\0\0MM\0\42\0\0\0\8\0\1\1\18\0\3\0\0\0\1\0\6\0\0\0\0\0\0"
f = assert(io.open(dir .. "/turned.jpg", "wb"))
f:write(jpeg:sub(1, 2), exif, jpeg:sub(3))
f:close()

-- Orientation 6: the picture turns a quarter clockwise, its left column on top.
local up = image.load(dir .. "/turned.jpg")
assert(up:width() == 8 and up:height() == 16, up:width() .. " x " .. up:height())
for _, c in ipairs({{4, 2, "dark"}, {4, 13, "light"}, {1, 6, "dark"}, {6, 9, "light"}}) do
  local g = up:get(c[1], c[2]) % 256
  assert((c[3] == "dark") == (g < 64) and (g < 64 or g > 191), c[1] .. "," .. c[2] .. ": " .. g)
end
print("photos ok")
