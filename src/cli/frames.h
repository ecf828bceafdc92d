// Which pictures an apply command reads and writes: one file, every PNG of
// a folder in natural order (frame2 before frame10), or the numbered files
// of a printf pattern such as frames/%04d.png.
#pragma once

#include <string>
#include <vector>

namespace rururev::cli {

// True when `pattern` holds exactly one number conversion, %d with an
// optional 0 flag and width (%05d), and otherwise only %% escapes.
bool is_frame_pattern(const std::string& pattern);

// The pattern with its conversion replaced by n; only patterns accepted by
// is_frame_pattern are formatted, the user's text is never a printf format.
std::string format_frame(const std::string& pattern, unsigned long n);

// Orders names with runs of digits compared as numbers.
bool natural_less(const std::string& a, const std::string& b);

struct FramePair {
    std::string in, out;
};

// Lists the frames of IN and the file each one is written to. A pattern IN
// numbers its frames from 0 or from 1, whichever exists, up to the first
// missing number. OUT is a folder (the input's file name kept; created when
// IN is a sequence and OUT does not exist), a pattern (numbered like a
// pattern IN, or from 1 in folder order), or, for a single IN, a file.
bool plan_frames(const std::string& in, const std::string& out, std::vector<FramePair>& frames,
                 std::string& error);

}  // namespace rururev::cli
