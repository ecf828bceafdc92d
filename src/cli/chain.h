// The apply command: its command line, and the chain of filter calls it
// makes on each picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/filter_table.h"
#include "cli/host.h"
#include "cli/video.h"
#include "image/frames.h"
#include "image/png_io.h"

namespace rururev::cli {

// One argument after data, w and h: a number, or a boolean for bool
// parameters.
struct Argument {
    bool is_bool = false;
    bool truth = false;
    double number = 0;
};

struct Step {
    std::string function;
    std::vector<Argument> args;
};

struct CurvePoint {
    double x = 0, y = 0, idx = 0;
    std::string text;  // as given, for messages
};

// The most threads --jobs accepts.
constexpr unsigned max_jobs = 64;

struct ApplyCommand {
    int png_level = image::png_default_level;  // --png-level
    unsigned jobs = 0;  // --jobs; 0: one per core
    bool raw = false;
    uint32_t raw_width = 0, raw_height = 0;
    std::vector<CurvePoint> curve;
    std::string in, out;
    std::vector<Step> steps;
    OutputOptions output;
    std::vector<std::string> given;  // the options named, for check_option_use
};

// Reads a number as Lua does: decimal or hexadecimal, surrounding spaces
// allowed, nothing else.
bool parse_number(const std::string& text, double& out);

// Reads "0:-10:1,100:-20:101" into curve points.
bool parse_curve(const std::string& text, std::vector<CurvePoint>& out);

// Reads "1920x1080": both sides from 1, their product at most the pixel limit.
bool parse_frame_size(const std::string& text, uint32_t& width, uint32_t& height);

// Parses the words after "apply"; "--" ends the options. A filter may take fewer arguments than it
// has parameters (the rest read as 0 or false, as in a Lua call), never
// more. On failure returns false with the reason; it is a usage error.
bool parse_apply(const std::vector<std::string>& words, const std::vector<FilterSpec>& filters,
                 ApplyCommand& out, std::string& error);

// Refuses an option given for a job it does nothing for (--crf with a
// picture OUT, --quality with a video, --frames on one picture, ...), with
// the reason; checked before any file is read.
bool check_option_use(const ApplyCommand& cmd, std::string& error);

// The same for the files a sequence writes, once their names are known and
// before any is read: --quality needs a JPEG among them, --png-level a PNG.
bool check_saved_types(const ApplyCommand& cmd, const std::vector<image::FramePair>& frames, std::string& error);

// Splits --encoder-options as a shell would: words separated by spaces,
// quotes ('...' or "...") keeping spaces in a word, backslash escaping the
// next character outside single quotes. False for an unclosed quote.
bool split_shell_words(const std::string& text, std::vector<std::string>& out);

// Sets the curve points through tovoInterRGBset. A refused point is a
// command-line mistake: the reason names the function and the triple.
bool set_curve(LuaHost& host, const std::vector<CurvePoint>& curve, std::string& error);

// Calls each step on the pixels, as librururev.f(data, w, h, args...).
bool run_chain(LuaHost& host, const std::vector<Step>& steps, uint32_t* data, uint32_t width,
               uint32_t height, std::string& error);

}  // namespace rururev::cli
