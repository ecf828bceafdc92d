-- Loads the built rururev_image beside librururev in a stock interpreter,
-- round-trips a picture through a PNG file and checks its errors.
-- Usage: lua5.1|luajit image_test.lua BUILD_DIR
local dir = assert(arg[1], "usage: image_test.lua BUILD_DIR")
package.cpath = dir .. "/?.so;" .. package.cpath

local image = require "rururev_image"
local lib = require "librururev"
assert(rururev_image == image and package.loaded.rururev_image == image)
assert(image.max_pixels == 2 ^ 28)

local pic = image.new(3, 2, 0xFF808080)
pic:set(0, 0, 0x00123456)
pic:set(2, 1, 0x7FFFFFFF)
pic:apply(lib.tovoRGB2, 16, 0, -16, 0)
assert(pic:get(0, 0) == 0x00123456, "transparent pixels stay")
assert(pic:get(1, 0) == 0xFF908070)
assert(pic:get(2, 1) == 0x7FFFFFEF)

local path = os.tmpname()
pic:save(path)
local back = image.load(path)
os.remove(path)
for y = 0, 1 do
  for x = 0, 2 do assert(back:get(x, y) == pic:get(x, y), x .. "," .. y) end
end

local ok, err = pcall(image.load, path)
assert(not ok and err:find("No such file or directory", 1, true), err)
ok, err = pcall(pic.get, pic, 3, 0)
assert(not ok and err == "pixel (3, 0) is outside the 3 x 2 picture", err)
ok, err = pcall(image.new, 2 ^ 15, 2 ^ 14 + 1)
assert(not ok and err:find("more than the limit", 1, true), err)

print((jit and jit.version or _VERSION) .. ": rururev_image ok")
