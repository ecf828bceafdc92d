-- The buffer filters of librururev, in registration order.
--
-- Each entry names a filter, the parameters that follow data, w and h
-- ("name:type", with the types int, dword, byte, float and bool), a line on
-- what it does, and the arguments the gallery shows it with. The rururev
-- program builds its usage message and checks command lines from this table,
-- and the gallery walks it, so a filter added to the module appears in both
-- once it is listed here.
--
-- Optional fields for the gallery:
--   curve(level)  the displacement set at every curve position before the
--                 call (tovoInterRGBset(level, curve(level), level + 1))
--   before(lib, pic)  a call made on the picture's copy first
--   note          one more line for the tile's label

local filters = {
  {name = "tovoRGB", params = "t0:int t1:int t2:int t3:int",
   about = "adds offsets to red, green, blue and alpha, transparent pixels included",
   sample = {40, 0, -40, 96}},
  {name = "tovoRGB2", params = "t0:int t1:int t2:int t3:int",
   about = "as tovoRGB, transparent pixels untouched",
   sample = {40, 0, -40, 96}},
  {name = "tovoHSV", params = "t0:int t1:int t2:int t3:int",
   about = "shifts hue, saturation and value, and adds to alpha",
   sample = {120, 0, 0, 0}},
  {name = "tovoHSV2", params = "t0:int t1:int t2:int t3:int t4:dword t5:int",
   about = "shifts hue, saturation and value of colours near a reference colour",
   sample = {-120, 0, 0, 0, 0xFF0000, 100}},
  {name = "tovoNega", params = "t0:int t1:int t2:int t3:int",
   about = "toned monochrome negative",
   sample = {330, 80, 255, 0}},
  {name = "tovoMono", params = "t0:int t1:int t2:int t3:int t4:bool",
   about = "grey by a weighted sum of the channels",
   sample = {0, 0, 0, 0, false}},
  {name = "tovo2Pns", params = "t0:int t1:int t2:int t3:int t4:byte t5:int t6:int",
   about = "two-level threshold of each channel",
   sample = {0, 0, 0, 0, 0, 255, 0}},
  {name = "tovoAlp0", params = "t0:int t1:int t2:int",
   about = "random replacement of alpha",
   sample = {50, 7, 0}},
  {name = "tovoYCbCr", params = "t0:int t1:int t2:int oc:dword",
   about = "YCbCr colour key: pixels far from oc become transparent",
   sample = {255, 50, 50, 0x40C040}},
  {name = "tovoCSplt", params = "t0:int t1:int t2:int t3:int oc:dword x0:dword x1:dword y0:dword y1:dword",
   about = "keeps one colour inside a rectangle, greys the rest",
   sample = {30, 255, 255, 0, 0xFFA000, 0, 255, 0, 191}},
  {name = "tovoCTracking", params = "t0:int t1:int t2:int t3:int oc:dword x0:dword x1:dword y0:dword y1:dword",
   about = "keeps one colour inside a rectangle, the rest becomes transparent",
   sample = {40, 255, 255, 60, 0x2060FF, 0, 255, 0, 127}},
  {name = "tovoNStage", params = "t0:int t1:int t2:int t3:int chk0:bool",
   about = "quantises to a number of levels",
   sample = {4, 0, 0, 0, false}},
  {name = "tovoNStage2", params = "t0:int t1:int t2:int t3:int chk0:bool",
   about = "quantises to a number of levels, the darkest level transparent",
   sample = {3, 0, 0, 0, true}},
  {name = "tovoGanma", params = "t0:float t1:int t2:int t3:int",
   about = "gamma correction of the luma",
   sample = {0.5, 0, 0, 0}},
  {name = "tovoFrameCBA", params = "t0:int t1:int t2:int t3:int nn:int oc:dword chk0:bool",
   about = "marks on a grid the pixels that changed since the previous frame",
   sample = {0, 12, 12, 12, 4, 0xFF0000, true},
   note = "after a frame with a black square",
   before = function(lib, pic)
     -- The previous frame is the same picture with a square painted over it,
     -- stored unmarked: with chk0 false unchanged pixels keep their colour.
     local prev = pic:copy()
     local w, h = prev:size()
     for y = math.floor(h / 8), math.floor(h / 8) + math.floor(h / 3) do
       for x = math.floor(w * 17 / 32), math.floor(w * 17 / 32) + math.floor(h / 3) do
         if x < w and y < h then prev:set(x, y, 0xFF000000) end
       end
     end
     prev:apply(lib.tovoFrameCBA, 0, 12, 12, 12, 4, 0xFF0000, false)
   end},
  {name = "tovoInterRGB", params = "t2:int t3:int sh:int",
   about = "moves red, green, blue or alpha through the curve points",
   sample = {100, 0, 256},
   note = "curve: S, 40 levels either way",
   curve = function(level) return 40 * math.sin(2 * math.pi * level / 255) end},
  {name = "tovoInterHSV", params = "t2:int t3:int sh:int",
   about = "moves hue, saturation or value through the curve points",
   sample = {100, 0, 720},
   note = "curve: hues up to 90 degrees on",
   curve = function(level) return -90 * math.sin(math.pi * level / 360) end},
  {name = "tovoHighShadow", params = "t0:int t1:int t2:int t3:int cmax:int cmin:int",
   about = "highlight and shadow levels of the HSV value",
   sample = {220, 60, 0, 100, 255, 0}},
  {name = "tovoHighShadowDoder", params = "t0:int t1:int t2:int t3:int cmax:int cmin:int",
   about = "highlight and shadow levels of the HSV saturation",
   sample = {128, 0, 0, 100, 255, 0}},
  {name = "tovoRngPut", params = "t0:int t1:int t2:int oc:dword chk:byte",
   about = "grey-level range key: pixels outside the band become transparent",
   sample = {96, 64, 1, 0, 0}},
}

return filters
