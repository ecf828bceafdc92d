// Refusals made before any picture or frame is read, so that a run never
// destroys a file it was not asked to replace. Files are compared by
// identity (device and inode), so links and other spellings of a name count
// as the same file.
#pragma once

#include <string>
#include <vector>

#include "image/frames.h"

namespace rururev::cli {

// Refuses an output that is the input of another frame, two frames written
// to one output, and an output that cannot be replaced (a folder, or a file
// the user may not write). A frame written over its own input is allowed:
// it has been read by then.
bool check_frame_outputs(const std::vector<image::FramePair>& frames, std::string& error);

// Refuses stdin or stdout when it was closed at start, an OUT that cannot be
// replaced, and a stdout that is the input file itself (it would read what
// it writes). A named OUT may be IN: it is replaced when the stream ends.
bool check_raw_streams(const std::string& in, const std::string& out, std::string& error);

}  // namespace rururev::cli
