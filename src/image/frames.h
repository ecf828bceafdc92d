// Which pictures an apply command reads and writes: one file, every PNG and
// JPEG of a folder in natural order (frame2 before frame10), or the numbered files
// of a printf pattern such as frames/%04d.png.
#pragma once

#include <string>
#include <vector>

namespace rururev::image {

// True when `pattern` holds exactly one number conversion, %d with an
// optional 0 flag and width (%05d), and otherwise only %% escapes.
bool is_frame_pattern(const std::string& pattern);

// The pattern with its conversion replaced by n; only patterns accepted by
// is_frame_pattern are formatted, the user's text is never a printf format.
std::string format_frame(const std::string& pattern, unsigned long n);

// True when IN names numbered frames: a frame pattern that is no existing
// file's or folder's name (an existing name wins).
bool is_frame_pattern_in(const std::string& in);

// The folder a file name is in: "." for a bare name.
std::string folder_of(const std::string& path);

// True when path names a folder, links followed.
bool is_directory(const std::string& path);

// Orders names with runs of digits compared as numbers.
bool natural_less(const std::string& a, const std::string& b);

struct FramePair {
    std::string in, out;
    bool new_folder = false;  // out's folder is created when missing
};

// False with the reason when IN or OUT holds a % but is no frame pattern
// (an IN that exists under that name is a file), or when IN is a sequence
// and OUT, not an existing folder, has a picture's name; a command-line
// mistake.
bool check_frame_patterns(const std::string& in, const std::string& out, std::string& error);

// Lists the frames of IN and the file each one is written to. A pattern IN
// numbers its frames from 0 or from 1, whichever exists, up to the first
// missing number. A folder IN gives its PNG and JPEG files, hidden ones and
// broken links left out. OUT is a folder (the input's file name kept; created when
// IN is a sequence and OUT does not exist), a pattern (numbered like a
// pattern IN, or from 1 in folder order; its folder created when missing),
// or, for a single IN, a file (its folder created when missing). Nothing is
// created here.
bool plan_frames(const std::string& in, const std::string& out, std::vector<FramePair>& frames,
                 std::string& error);

// For a pattern IN whose numbering stops before frames that exist (f1, f2,
// f3, f5, f6), says where it stops and which frames are left out; "" when
// nothing is left out.
std::string pattern_gap(const std::string& pattern);

// The folders a run created for its output: those still empty are removed
// again when it is destroyed before keep(), so that a failed run leaves none.
class NewFolders {
public:
    NewFolders() = default;
    NewFolders(const NewFolders&) = delete;
    NewFolders& operator=(const NewFolders&) = delete;
    ~NewFolders();
    void note(const std::string& path) { made_.push_back(path); }
    void keep() { made_.clear(); }

private:
    std::vector<std::string> made_;
};

// Creates the folders of the frames marked new_folder that are missing.
bool make_output_folders(const std::vector<FramePair>& frames, std::string& error, NewFolders* made = nullptr);

// Creates a folder and its missing parents, noting in `made` those it created.
bool make_folders(const std::string& path, std::string& error, NewFolders* made = nullptr);

}  // namespace rururev::image
