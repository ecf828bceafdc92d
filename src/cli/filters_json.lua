-- The table of filters as the preview page needs it, in JSON, from
-- rururev_filters: the program serves it, and the playground's engine makes
-- it for its Worker.
local filters = require "rururev_filters"
local function str(s)
  return '"' .. (s:gsub('[%c"\\]', function(c) return string.format('\\u%04x', c:byte()) end)) .. '"'
end
local function value(v)
  if type(v) == "number" then return string.format("%.17g", v) end
  return tostring(v)
end
local out = {}
for _, f in ipairs(filters) do
  local sample, notes = {}, {}
  for i = 1, #f.notes do notes[i] = str(f.notes[i]) end
  for i = 1, #f.sample do sample[i] = value(f.sample[i]) end
  out[#out + 1] = string.format('{"name":%s,"params":%s,"about":%s,"notes":[%s],"sample":[%s],"curve":%s}',
    str(f.name), str(f.params), str(f.about), table.concat(notes, ","), table.concat(sample, ","), tostring(f.curve ~= nil))
end
rururev_preview_json = "[" .. table.concat(out, ",") .. "]"
