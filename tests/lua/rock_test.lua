-- Loads the rockspec the way LuaRocks does (a Lua chunk run in an empty
-- table) and checks it against the project it builds: same name and version
-- as the CMake project, a cmake build in the rockspec's own directory, and
-- only variables that the CMake project declares.
-- Usage: lua5.1 rock_test.lua ROCKSPEC
local path = assert(arg[1], "usage: rock_test.lua ROCKSPEC")
local dir = path:match("^(.*)/[^/]*$") or "."

local function read(file)
  local f = assert(io.open(file, "rb"))
  local text = f:read("*a")
  f:close()
  return text
end

local failures = 0
local function check(ok, what)
  if not ok then
    failures = failures + 1
    print("FAIL: " .. what)
  end
end

local spec = {}
local chunk = assert(loadfile(path))
setfenv(chunk, spec)
chunk()

local cmake = read(dir .. "/CMakeLists.txt")
local project, cmake_version = cmake:match("project%((%S+)%s+VERSION%s+([%d.]+)")
local build = spec.build or {}
local variables = build.variables or {}

local fields = {
  {spec.package, project, "package is the CMake project's name"},
  {spec.version and spec.version:match("^(.-)%-%d+$"), cmake_version,
   "version is the CMake project's version plus a revision"},
  {path:match("[^/]*$"), ("%s-%s.rockspec"):format(tostring(spec.package), tostring(spec.version)),
   "file name is package-version.rockspec"},
  {build.type, "cmake", "build.type"},
  {variables.CMAKE_INSTALL_PREFIX, "$(PREFIX)", "installs under the rock's prefix"},
  {variables.RURUREV_INSTALL_CMODDIR, "$(LIBDIR)", "module goes to the rock's C-module directory"},
  {variables.RURUREV_LUA_INCLUDE_DIR, "$(LUA_INCDIR)", "compiles against LuaRocks' Lua headers"},
  {variables.RURUREV_TESTS, "OFF", "builds no tests"},
}
for _, f in ipairs(fields) do
  check(f[1] == f[2], ("%s: got %s, want %s"):format(f[3], tostring(f[1]), tostring(f[2])))
end

check(type(spec.source) == "table" and type(spec.source.url) == "string", "source.url is a string")
check(type(spec.description) == "table" and type(spec.description.summary) == "string"
      and type(spec.description.license) == "string", "description has a summary and a license")

local lua_dependency = false
for _, d in ipairs(spec.dependencies or {}) do
  if d:match("^lua%s") then lua_dependency = d end
end
check(lua_dependency == "lua >= 5.1, < 5.5",
      "depends on Lua 5.1 to 5.4: " .. tostring(lua_dependency))

-- A misspelt variable would be ignored by CMake and the module would land
-- in the wrong place: every project variable must be one CMakeLists.txt sets.
for name in pairs(variables) do
  if not name:match("^CMAKE_") then
    local declared = cmake:find("option%(" .. name .. "%s") or cmake:find("set%(" .. name .. "%s[^)]-CACHE")
    check(declared, name .. " is not a cache variable of CMakeLists.txt")
  end
end

if failures > 0 then os.exit(1) end
print(path .. ": ok")
