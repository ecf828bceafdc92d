-- Turns the hue of a video a degree a frame, keeping its frame rate and
-- sound: what a chain on the command line cannot do, since the argument
-- changes from frame to frame. Needs ffmpeg and ffprobe.
-- Run after building: build/rururev run examples/hue_turn.lua in.mp4 out.mp4
local image = require "rururev_image"
local input, output = ...
assert(input and output, "usage: hue_turn.lua IN.mp4 OUT.mp4")

local out = image.writer(output, {like = input})
for pic, n in image.frames(input) do
  pic:apply(librururev.tovoHSV, n % 360, 0, 0, 0)
  out:write(pic)
end
out:close()
