-- The gallery: every buffer filter of librururev on one picture.
--
--   rururev gallery OUTDIR [IN.png]
--
-- Writes OUTDIR/original.png (the built-in test card, or IN.png), one
-- OUTDIR/<filter>.png per filter with the arguments of its entry in
-- rururev_filters, and OUTDIR/contact-sheet.png: a sheet of labelled tiles,
-- four across, the original first. Filters the loaded module lacks are
-- skipped with a note. OUTDIR must exist.

local image = require "rururev_image"
local lib = require "librururev"
local filters = require "rururev_filters"

local outdir, input = ...
assert(outdir, "usage: gallery OUTDIR [IN.png]")

-- Colours ------------------------------------------------------------------

local function word(a, r, g, b)
  return ((a * 256 + r) * 256 + g) * 256 + b
end

local function channels(w)
  local b = w % 256; w = (w - b) / 256
  local g = w % 256; w = (w - g) / 256
  local r = w % 256
  return (w - r) / 256, r, g, b
end

-- The built-in test card (256 x 192), shared with rururev preview.
local test_card = require "rururev_test_card"

-- A tiny 5 x 7 bitmap font ---------------------------------------------------
-- Each glyph is seven rows of five bits, two hex digits a row, the top row
-- first and the leftmost pixel in bit 4.

local glyphs = {
  [" "] = "00000000000000", ["!"] = "04040404040004", ['"'] = "0A0A0000000000",
  ["#"] = "0A0A1F0A1F0A0A", ["$"] = "040F140E051E04", ["%"] = "18190204081303",
  ["&"] = "0C12140815120D", ["'"] = "04040000000000", ["("] = "02040808080402",
  [")"] = "08040202020408", ["*"] = "0004150E150400", ["+"] = "0004041F040400",
  [","] = "000000000C0408", ["-"] = "0000001F000000", ["."] = "00000000000C0C",
  ["/"] = "00010204081000", ["0"] = "0E11131519110E", ["1"] = "040C040404040E",
  ["2"] = "0E11010204081F", ["3"] = "1F02040201110E", ["4"] = "02060A121F0202",
  ["5"] = "1F101E0101110E", ["6"] = "0608101E11110E", ["7"] = "1F010204080808",
  ["8"] = "0E11110E11110E", ["9"] = "0E11110F01020C", [":"] = "000C0C000C0C00",
  [";"] = "000C0C000C0408", ["<"] = "02040810080402", ["="] = "00001F001F0000",
  [">"] = "08040201020408", ["?"] = "0E110102040004", ["@"] = "0E11010D15150E",
  ["A"] = "0E1111111F1111", ["B"] = "1E11111E11111E", ["C"] = "0E11101010110E",
  ["D"] = "1C12111111121C", ["E"] = "1F10101E10101F", ["F"] = "1F10101E101010",
  ["G"] = "0E11101711110F", ["H"] = "1111111F111111", ["I"] = "0E04040404040E",
  ["J"] = "0702020202120C", ["K"] = "11121418141211", ["L"] = "1010101010101F",
  ["M"] = "111B1515111111", ["N"] = "11111915131111", ["O"] = "0E11111111110E",
  ["P"] = "1E11111E101010", ["Q"] = "0E11111115120D", ["R"] = "1E11111E141211",
  ["S"] = "0F10100E01011E", ["T"] = "1F040404040404", ["U"] = "1111111111110E",
  ["V"] = "11111111110A04", ["W"] = "1111111515150A", ["X"] = "11110A040A1111",
  ["Y"] = "1111110A040404", ["Z"] = "1F01020408101F", ["["] = "0E08080808080E",
  ["\\"] = "00100804020100", ["]"] = "0E02020202020E", ["^"] = "040A1100000000",
  ["_"] = "0000000000001F", ["`"] = "08040000000000", ["a"] = "00000E010F110F",
  ["b"] = "1010161911111E", ["c"] = "00000E1010110E", ["d"] = "01010D1311110F",
  ["e"] = "00000E111F100E", ["f"] = "0609081C080808", ["g"] = "000F11110F010E",
  ["h"] = "10101619111111", ["i"] = "04000C0404040E", ["j"] = "0200060202120C",
  ["k"] = "10101214181412", ["l"] = "0C04040404040E", ["m"] = "00001A15151111",
  ["n"] = "00001619111111", ["o"] = "00000E1111110E", ["p"] = "00001E111E1010",
  ["q"] = "00000D130F0101", ["r"] = "00001619101010", ["s"] = "00000E100E011E",
  ["t"] = "08081C08080906", ["u"] = "0000111111130D", ["v"] = "00001111110A04",
  ["w"] = "0000111115150A", ["x"] = "0000110A040A11", ["y"] = "000011110F010E",
  ["z"] = "00001F0204081F", ["{"] = "02040408040402", ["|"] = "04040404040404",
  ["}"] = "08040402040408", ["~"] = "00000815020000",
}

local function draw_text(pic, x, y, text, scale, colour)
  local w, h = pic:size()
  for i = 1, #text do
    local rows = glyphs[text:sub(i, i)] or glyphs["?"]
    for row = 0, 6 do
      local bits = tonumber(rows:sub(row * 2 + 1, row * 2 + 2), 16)
      for col = 0, 4 do
        if bits % 2 ^ (5 - col) >= 2 ^ (4 - col) then
          for dy = 0, scale - 1 do
            for dx = 0, scale - 1 do
              local px, py = x + col * scale + dx, y + row * scale + dy
              if px < w and py < h then pic:set(px, py, colour) end
            end
          end
        end
      end
    end
    x = x + 6 * scale
  end
end

-- Labels -----------------------------------------------------------------

local function format_argument(value, ptype)
  if ptype == "bool" then return tostring(value) end
  local word = ptype == "dword" or ptype == "colour"
  if word and value >= 65536 then return string.format("0x%06X", value) end
  return string.format("%.10g", value)
end

local function label_lines(entry)
  local args, i = {}, 0
  for pname, ptype in entry.params:gmatch("(%w+):(%w+)") do
    i = i + 1
    args[i] = format_argument(entry.sample[i], ptype)
  end
  return table.concat(args, " "), entry.note
end

-- The contact sheet ----------------------------------------------------------

local columns = 4
local pad = 8
local label_height = 48  -- name at twice the size, then two small lines
local checker_light, checker_dark = 154, 102
local background = word(255, 32, 32, 32)
local name_colour = word(255, 240, 240, 240)
local text_colour = word(255, 176, 176, 176)

-- The picture is reduced by whole steps to at most 256 pixels on a side.
local function reduction(w, h)
  local step = math.ceil(math.max(w, h) / 256)
  return step, math.ceil(w / step), math.ceil(h / step)
end

-- Draws pic over a checkerboard at (x0, y0), reduced by step.
local function draw_picture(sheet, x0, y0, pic, step, tw, th)
  for y = 0, th - 1 do
    for x = 0, tw - 1 do
      local a, r, g, b = channels(pic:get(x * step, y * step))
      local bg = (math.floor(x / 8) + math.floor(y / 8)) % 2 == 0 and checker_light or checker_dark
      local function over(c) return math.floor((c * a + bg * (255 - a) + 127) / 255) end
      sheet:set(x0 + x, y0 + y, word(255, over(r), over(g), over(b)))
    end
  end
end

-- A tile is as wide as its picture, and at least as wide as the longest name
-- at twice the size, so that a small picture's labels stay in their tile.
local function content_width(tiles, tw)
  local width = tw
  for _, tile in ipairs(tiles) do width = math.max(width, #tile.title * 12) end
  return width
end

local function make_sheet(tiles, w, h)
  local step, tw, th = reduction(w, h)
  local cw = content_width(tiles, tw)
  local tile_w, tile_h = cw + 2 * pad, th + label_height + 2 * pad
  local rows = math.ceil(#tiles / columns)
  local sheet = image.new(columns * tile_w, rows * tile_h, background)
  for k, tile in ipairs(tiles) do
    local x0 = ((k - 1) % columns) * tile_w + pad
    local y0 = math.floor((k - 1) / columns) * tile_h + pad
    draw_picture(sheet, x0, y0, tile.picture, step, tw, th)
    local y = y0 + th + pad
    draw_text(sheet, x0, y, tile.title, 2, name_colour)
    local chars = math.floor(cw / 6)
    if tile.line1 then draw_text(sheet, x0, y + 20, tile.line1:sub(1, chars), 1, text_colour) end
    if tile.line2 then draw_text(sheet, x0, y + 30, tile.line2:sub(1, chars), 1, text_colour) end
  end
  return sheet
end

-- The run ----------------------------------------------------------------

local function set_curve(curve)
  for level = 0, 360 do lib.tovoInterRGBset(level, curve(level), level + 1) end
end

local original = input and image.load(input) or test_card()
local w, h = original:size()
original:save(outdir .. "/original.png")
local tiles = {{picture = original, title = "original", line1 = input or "test card"}}

local skipped = {}
for _, entry in ipairs(filters) do
  local missing = lib[entry.name] == nil or (entry.curve and lib.tovoInterRGBset == nil)
  if missing then
    skipped[#skipped + 1] = entry.name
  else
    local pic = original:copy()
    if entry.curve then set_curve(entry.curve) end
    if entry.before then entry.before(lib, pic) end
    pic:apply(lib[entry.name], unpack(entry.sample, 1, #entry.sample))
    pic:save(outdir .. "/" .. entry.name .. ".png")
    local args, note = label_lines(entry)
    tiles[#tiles + 1] = {picture = pic, title = entry.name, line1 = args, line2 = note}
  end
end

local sheet_path = outdir .. "/contact-sheet.png"
make_sheet(tiles, w, h):save(sheet_path)
if #skipped > 0 then
  print("skipped, not in this librururev: " .. table.concat(skipped, ", "))
end
print(string.format("gallery: %d filters on a %d x %d picture in %s", #tiles - 1, w, h, outdir))
print("contact sheet: " .. sheet_path)
