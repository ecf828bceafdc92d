-- Loads librururev, prints the local time and lists the functions.
-- Run from the repository root after building: lua5.1 examples/hello.lua
package.cpath = "build/?.so;" .. package.cpath
local librururev = require "librururev"

print("librururev loaded at " .. librururev.daytime())

local names = {}
for name in pairs(librururev) do names[#names + 1] = name end
table.sort(names)
print(#names .. " functions: " .. table.concat(names, ", "))
