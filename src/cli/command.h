// The apply command's line read into a plan: its options, its files and its
// chain of filter calls, and the checks made on it before any file is read.
// Also the program's exit statuses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/filter_table.h"
#include "image/frames.h"
#include "image/png_io.h"
#include "image/video_io.h"

namespace rururev::cli {

// Exit statuses: 0 done, 1 a file, a stream or a Lua call failed, 2 the
// command line was wrong. A run stopped by a signal returns 128 + its number.
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

// Prints "rururev: MESSAGE" on stderr and returns `status`.
int report(const std::string& message, int status);

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

// The options of what apply writes: the JPEG quality, the encoder settings
// of a video, and how many frames.
struct OutputOptions {
    int quality = 90;                          // --quality: JPEG files
    int crf = -1;                              // --crf: video, -1 for the default
    bool lossless = false;                     // --lossless: .mkv with every word kept
    std::vector<std::string> encoder_options;  // --encoder-options "...": passed to ffmpeg
    uint64_t frames = 0;                       // --frames: stop after this many, 0 for all
    image::SoundMode sound = image::SoundMode::automatic;  // --sound: auto, copy, encode, none
};

struct ApplyCommand {
    int png_level = image::png_default_level;  // --png-level
    unsigned jobs = 0;  // --jobs; 0: one per core
    bool raw = false;
    uint32_t raw_width = 0, raw_height = 0;
    std::vector<CurvePoint> curve;
    std::string in, out;
    std::vector<Step> steps;
    OutputOptions output;
    std::vector<std::string> given;  // the options named, for the checks of plan_apply
    // The job, decided once by parse_apply: whether IN is a video (a file
    // that is not a picture, or an animated PNG) and OUT a video name.
    bool reads_video = false, writes_video = false;
};

// Reads a number as Lua does: decimal or hexadecimal, surrounding spaces
// allowed, nothing else. Filter arguments and curve points are read so;
// options that take a whole number take decimal digits only.
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

// Reads one of the output options from words[at] on (at is past the option's
// name): 1 read, 0 not one of them, -1 a bad value (error set).
int parse_output_option(const std::string& option, const std::vector<std::string>& words,
                        size_t& at, OutputOptions& out, std::string& error);

// Splits --encoder-options as a shell would: words separated by spaces,
// quotes ('...' or "...") keeping spaces in a word, backslash escaping the
// next character outside single quotes. False for an unclosed quote.
bool split_shell_words(const std::string& text, std::vector<std::string>& out);

// What plan_apply found wrong: nothing, the command line (the usage lines
// follow the reason), or OUT's name.
enum class PlanFault { none, usage, output_name };

// Reads apply's words into a plan and makes every check due before the work:
// each option is for the job at hand (no --crf with a picture OUT, no
// --quality with a video, no --frames on one picture, ...), each filter is
// in this librururev, the patterns of IN and OUT agree, and OUT names
// something apply can write (a picture type, a folder, or a video).
PlanFault plan_apply(const std::vector<std::string>& words, const std::vector<FilterSpec>& filters,
                     ApplyCommand& cmd, std::string& error);

// The checks of the files a sequence writes, once their names are known and
// before any is read: --quality needs a JPEG among them, --png-level a PNG.
bool check_saved_types(const ApplyCommand& cmd, const std::vector<image::FramePair>& frames, std::string& error);

}  // namespace rururev::cli
