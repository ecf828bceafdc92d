// apply on video files, and on folders and patterns of pictures into or
// out of a video or a pattern.
#pragma once

#include "cli/chain.h"
#include "cli/host.h"

namespace rururev::cli {

// Runs the chain over every frame of a video file, or of the pictures of a
// folder or a pattern, into a video file, or into the pictures of a folder
// or a pattern; returns the exit status, having printed any failure.
int apply_video(LuaHost& host, const ApplyCommand& cmd);

}  // namespace rururev::cli
