-- Checks the documentation against the module and the repository:
--   * every function of the module has a heading in docs/api.md holding its
--     call, with the parameters of its row in filter_list.inc (as
--     src/cli/filters.lua reads it) in order,
--     and under it each parameter's type;
--   * every relative link leads to a file, and an anchor to one of its headings;
--   * every ./dev and rururev command shown is one that exists;
--   * the README's example script runs.
-- Usage: lua5.1 docs_test.lua SOURCE_DIR BUILD_DIR RURUREV DOC.md...
local source, build, rururev = arg[1], arg[2], arg[3]
local docs = {}
for i = 4, #arg do docs[#docs + 1] = arg[i] end

local failures = 0
local function fail(...)
  failures = failures + 1
  io.stderr:write(string.format(...), "\n")
end

local function read(path)
  local f = io.open(path, "rb")
  if not f then return nil end
  local text = f:read("*a")
  f:close()
  return text
end

local function lines(text)
  local out = {}
  for line in (text .. "\n"):gmatch("(.-)\r?\n") do out[#out + 1] = line end
  return out
end

-- Splits a Markdown text into prose lines and code lines (fenced blocks).
local function split(text)
  local prose, code, fenced = {}, {}, false
  for _, line in ipairs(lines(text)) do
    if line:match("^%s*```") then
      fenced = not fenced
    elseif fenced then
      code[#code + 1] = line
    else
      prose[#prose + 1] = line
    end
  end
  return prose, code
end

-- Signatures ----------------------------------------------------------------

local expected = {
  daytime = "daytime()",
  tovoNum = "tovoNum(t0, t1, t2, t3)",
  tovoInterRGBset = "tovoInterRGBset(x, y, idx)",
}
for _, f in ipairs(dofile(source .. "/src/cli/filters.lua")) do
  local params = {"data", "w", "h"}
  for name in f.params:gmatch("([%w_]+):%a+") do params[#params + 1] = name end
  expected[f.name] = f.name .. "(" .. table.concat(params, ", ") .. ")"
end

package.cpath = build .. "/?.so;" .. package.cpath
for name in pairs(require "librururev") do
  if not expected[name] then fail("librururev.%s has no parameters to check its docs against", name) end
end

local api = assert(read(source .. "/docs/api.md"), "docs/api.md is missing")
local documented = {}
for _, line in ipairs((split(api))) do
  local call = line:match("^###%s+`(.-)`%s*$")
  local name = call and call:match("^([%w_]+)%(")
  if name then
    if documented[name] then fail("docs/api.md documents %s twice", name) end
    documented[name] = call
  end
end
for name, call in pairs(expected) do
  if not documented[name] then
    fail("docs/api.md: no heading ### `%s`", call)
  elseif documented[name] ~= call then
    fail("docs/api.md: ### `%s` should be ### `%s`", documented[name], call)
  end
end
for name, call in pairs(documented) do
  if not expected[name] then fail("docs/api.md documents %s, which the module lacks", call) end
end

-- Each buffer filter's section lists its parameters' types in bullets such
-- as "- `t0`, `t1`: INT offsets", or takes another's ("- parameters as `f`");
-- a colour is a DWORD whose bullet says it is a colour.
local spelled = {int = "INT", dword = "DWORD", colour = "DWORD colour", byte = "8-bit",
                 float = "FLOAT", bool = "BOOLEAN"}
local bullets, section = {}, nil
for _, line in ipairs((split(api))) do
  local heading = line:match("^#+%s+(.*)$")
  if heading then section = heading:match("^`([%w_]+)%(") end
  if section and line:match("^%- ") then
    bullets[section] = bullets[section] or {}
    table.insert(bullets[section], line)
  end
end
local function types_of(name, depth)
  local types = {}
  for _, line in ipairs(bullets[name] or {}) do
    local other = line:match("^%- parameters as `([%w_]+)`")
    if other and depth < 2 then return types_of(other, depth + 1) end
    local names, kind, rest = line:match("^%- (.-): ([%w-]+)(.*)")
    if kind == "DWORD" and rest:find("colour") then kind = "DWORD colour" end
    if names then
      for param in names:gmatch("`([%w_]+)`") do types[param] = kind end
    end
  end
  return types
end
for _, f in ipairs(dofile(source .. "/src/cli/filters.lua")) do
  local types = types_of(f.name, 0)
  for param, kind in f.params:gmatch("([%w_]+):(%a+)") do
    if types[param] ~= spelled[kind] then
      fail("docs/api.md: %s's %s is %s, not %s", f.name, param, spelled[kind], tostring(types[param]))
    end
  end
end

-- Links ---------------------------------------------------------------------

-- The anchor a code host gives a heading: lower case, punctuation dropped,
-- spaces as hyphens, a repeated anchor numbered.
local function anchors(text)
  local set, seen = {}, {}
  for _, line in ipairs((split(text))) do
    local heading = line:match("^#+%s+(.-)%s*$")
    if heading then
      local id = heading:lower():gsub("[^%w%-_ \128-\255]", ""):gsub(" ", "-")
      if seen[id] then
        seen[id] = seen[id] + 1
        id = id .. "-" .. seen[id]
      else
        seen[id] = 0
      end
      set[id] = true
    end
  end
  return set
end

for _, doc in ipairs(docs) do
  local dir = doc:match("^(.*)/[^/]*$") or "."
  local text = assert(read(doc), doc)
  for _, line in ipairs((split(text))) do
    line = line:gsub("``.-``", ""):gsub("`[^`]*`", "")
    for target in line:gmatch("%]%(([^)%s]+)%)") do
      if not target:match("^%a[%w+.-]*:") then
        local path, anchor = target:match("^([^#]*)#?(.*)$")
        local file = path == "" and doc or dir .. "/" .. path
        local linked = read(file)
        if not linked then
          fail("%s: link to %s, which does not exist", doc, target)
        elseif anchor ~= "" and not anchors(linked)[anchor] then
          fail("%s: link to %s, whose heading does not exist", doc, target)
        end
      end
    end
  end
end

-- Commands ------------------------------------------------------------------

local dev_commands = {}
local in_case = false
for _, line in ipairs(lines(assert(read(source .. "/dev")))) do
  if line:match("^case ") then in_case = true end
  if in_case then
    local labels = line:match("^%s*([%w|]+)%)")
    if labels then
      for word in labels:gmatch("[^|]+") do dev_commands[word] = true end
    end
  end
end

local usage = assert(io.popen('"' .. rururev .. '" help')):read("*a")
local program_commands = {help = true}
for word in usage:gmatch("rururev (%l+)") do program_commands[word] = true end

local shown = {}
for _, doc in ipairs(docs) do
  for _, line in ipairs(lines(read(doc))) do
    for word in line:gmatch("%./dev (%l+)") do
      shown["./dev " .. word] = true
      if not dev_commands[word] then fail("%s: ./dev %s is no command of ./dev", doc, word) end
    end
    for _, pattern in ipairs({"^%s*rururev (%l+)", "[`/]rururev (%l+)"}) do
      for word in line:gmatch(pattern) do
        shown["rururev " .. word] = true
        if not program_commands[word] then fail("%s: rururev %s is no command of rururev", doc, word) end
      end
    end
  end
end
local list = {}
for command in pairs(shown) do list[#list + 1] = command end
table.sort(list)
print("commands shown: " .. table.concat(list, ", "))

-- The README's example ------------------------------------------------------

-- The first Lua block of the README is a whole script: it reads argument 1
-- and writes argument 2.
local readme = assert(read(source .. "/README.md"))
local example = readme:match("\n```lua\n(.-)\n```")
if not example then
  fail("README.md has no Lua example")
else
  local dir = os.tmpname()
  os.remove(dir)
  local script, output = dir .. ".lua", dir .. ".png"
  local f = assert(io.open(script, "wb"))
  f:write(example, "\n")
  f:close()
  local command = string.format('LUA_CPATH="%s/?.so;;" "%s" "%s" "%s" "%s"',
    build, arg[-1], script, source .. "/docs/gallery/original.png", output)
  local status = os.execute(command)
  if status ~= 0 or not read(output) then fail("the README's example failed: %s", command) end
  os.remove(script)
  os.remove(output)
end

if failures > 0 then
  print("problems in the documentation: " .. failures)
  os.exit(1)
end
print("docs: ok")
