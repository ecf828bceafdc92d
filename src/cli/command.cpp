#include "cli/command.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>

#include "image/frames.h"
#include "image/picture_file.h"
#include "image/png_io.h"

namespace rururev::cli {

int report(const std::string& message, int status) {
    std::fprintf(stderr, "rururev: %s\n", message.c_str());
    return status;
}

bool parse_number(const std::string& text, double& out) {
    const char* s = text.c_str();
    char* end = nullptr;
    out = std::strtod(s, &end);
    if (end == s) return false;
    if (*end == 'x' || *end == 'X') out = static_cast<double>(std::strtoul(s, &end, 16));
    while (std::isspace(static_cast<unsigned char>(*end))) ++end;
    return *end == '\0';
}

static std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

bool parse_curve(const std::string& text, std::vector<CurvePoint>& out) {
    for (const std::string& triple : split(text, ',')) {
        const std::vector<std::string> parts = split(triple, ':');
        CurvePoint p;
        if (parts.size() != 3 || !parse_number(parts[0], p.x) || !parse_number(parts[1], p.y) ||
            !parse_number(parts[2], p.idx)) {
            return false;
        }
        p.text = triple;
        out.push_back(p);
    }
    return true;
}

bool parse_frame_size(const std::string& text, uint32_t& width, uint32_t& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    const std::string sides[2] = {text.substr(0, x), text.substr(x + 1)};
    unsigned long long n[2];
    for (int i = 0; i < 2; ++i) {
        if (sides[i].empty() || sides[i].size() > 9) return false;
        for (char c : sides[i]) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        }
        n[i] = std::strtoull(sides[i].c_str(), nullptr, 10);
        if (n[i] == 0) return false;
    }
    if (n[0] * n[1] > image::max_pixels) return false;
    width = static_cast<uint32_t>(n[0]);
    height = static_cast<uint32_t>(n[1]);
    return true;
}

static bool parse_argument(const Param& param, const std::string& word, Argument& out) {
    if (param.type == "bool") {
        out.is_bool = true;
        out.truth = word == "true";
        return word == "true" || word == "false";
    }
    return parse_number(word, out.number);
}

// Reads FUNCTION [ARGS...] up to the next "+" or the end, from words[at].
static bool parse_step(const std::vector<std::string>& words, size_t& at,
                       const std::vector<FilterSpec>& filters, Step& step, std::string& error) {
    step.function = words[at++];
    const FilterSpec* spec = find_filter(filters, step.function);
    if (spec == nullptr) {
        error = "unknown function '" + step.function + "'";
        return false;
    }
    for (; at < words.size() && words[at] != "+"; ++at) {
        if (step.args.size() == spec->params.size()) {
            error = step.function + " takes " + std::to_string(spec->params.size()) +
                    " arguments after data, w, h; got more";
            return false;
        }
        const Param& param = spec->params[step.args.size()];
        Argument arg;
        if (!parse_argument(param, words[at], arg)) {
            error = step.function + ": argument " + param.name + " must be " +
                    (param.type == "bool" ? "true or false" : "a number") + ", got '" +
                    words[at] + "'";
            return false;
        }
        step.args.push_back(arg);
    }
    return true;
}

// The largest --frames: more than any video holds.
constexpr unsigned long long max_frames = 1ULL << 50;

// Reads the value of an option that takes a whole number from lo to hi,
// written in decimal digits only; the reason names the option's range.
static bool parse_whole(const std::string& option, const std::string& text, unsigned long long lo,
                        unsigned long long hi, unsigned long long& out, std::string& error) {
    out = 0;
    bool ok = !text.empty();
    for (char c : text) {
        ok = ok && std::isdigit(static_cast<unsigned char>(c)) && out <= hi;
        if (ok) out = out * 10 + static_cast<unsigned>(c - '0');  // stops growing once past hi
    }
    if (ok && out >= lo && out <= hi) return true;
    error = option + " takes a whole number from " + std::to_string(lo) +
            (hi == max_frames ? std::string() : " to " + std::to_string(hi)) + "; got '" + text + "'";
    return false;
}

// Reads the value of --png-level or --jobs.
static bool parse_speed_option(const std::string& option, const std::string& value,
                               ApplyCommand& out, std::string& error) {
    unsigned long long n = 0;
    if (option == "--png-level") {
        if (!parse_whole(option, value, 0, 9, n, error)) return false;
        out.png_level = static_cast<int>(n);
    } else {
        if (!parse_whole(option, value, 1, max_jobs, n, error)) return false;
        out.jobs = static_cast<unsigned>(n);
    }
    return true;
}

// Reads the options before IN.
static bool parse_options(const std::vector<std::string>& words, size_t& at, ApplyCommand& out,
                          std::string& error) {
    while (at < words.size() && words[at].size() >= 2 && words[at].compare(0, 2, "--") == 0) {
        const std::string option = words[at++];
        if (option == "--") break;  // IN may then start with --
        out.given.push_back(option);
        if (option == "--png-level" || option == "--jobs") {
            if (at == words.size()) {
                error = option + " needs a value";
                return false;
            }
            if (!parse_speed_option(option, words[at++], out, error)) return false;
            continue;
        }
        const int read = parse_output_option(option, words, at, out.output, error);
        if (read < 0) return false;
        if (read > 0) continue;
        if (option != "--raw" && option != "--curve") {
            error = "unknown option '" + option + "'";
            return false;
        }
        if (at == words.size()) {
            error = option + " needs a value";
            return false;
        }
        const std::string& value = words[at++];
        if (option == "--raw") {
            out.raw = true;
            if (!parse_frame_size(value, out.raw_width, out.raw_height)) {
                error = "--raw takes WIDTHxHEIGHT, both from 1 and at most " +
                        std::to_string(image::max_pixels) + " pixels in all; got '" + value + "'";
                return false;
            }
        } else if (!parse_curve(value, out.curve)) {
            error = "--curve takes X:Y:IDX triples separated by commas; got '" + value + "'";
            return false;
        }
    }
    return true;
}

// Whether IN is a video: a file that is not a picture, or an animated PNG.
static bool is_video_in(const std::string& in) {
    struct stat st;
    return !image::is_frame_pattern_in(in) && stat(in.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ((image::picture_type_of_name(in) == image::PictureType::none && !image::is_picture_file(in.c_str())) ||
            image::is_animated_png(in.c_str()));
}

bool parse_apply(const std::vector<std::string>& words, const std::vector<FilterSpec>& filters,
                 ApplyCommand& out, std::string& error) {
    size_t at = 0;
    if (!parse_options(words, at, out, error)) return false;
    if (words.size() - at < 3) {
        error = "apply needs IN, OUT and a FUNCTION";
        return false;
    }
    // Past "--" a name may start with '-'; before it, only "-" (a stream) may.
    const bool after_dashes = at > 0 && words[at - 1] == "--";
    for (size_t i = at; i < at + 2 && !after_dashes; ++i) {
        if (words[i].size() > 1 && words[i][0] == '-') {
            error = "unknown option '" + words[i] + "' (put -- before a file name that starts with -)";
            return false;
        }
    }
    out.in = words[at++];
    out.out = words[at++];
    if (!out.raw && (out.in == "-" || out.out == "-")) {
        error = "- (stdin or stdout) carries raw video: give --raw WxH, or name a PNG file or folder";
        return false;
    }
    for (;;) {
        if (at == words.size() || words[at] == "+") {
            error = "a FUNCTION is missing after '+'";
            return false;
        }
        Step step;
        if (!parse_step(words, at, filters, step, error)) return false;
        out.steps.push_back(step);
        if (at == words.size()) {
            out.reads_video = !out.raw && is_video_in(out.in);
            out.writes_video = !out.raw && image::is_video_name(out.out);
            return true;
        }
        ++at;  // the "+"
    }
}

static bool is_given(const ApplyCommand& cmd, const char* option) {
    return std::find(cmd.given.begin(), cmd.given.end(), option) != cmd.given.end();
}

static bool check_option_use(const ApplyCommand& cmd, std::string& error) {
    const bool video = cmd.writes_video;
    const image::PictureType type = image::picture_type_to_save(cmd.out);
    const bool in_sequence = image::is_frame_pattern_in(cmd.in) || image::is_directory(cmd.in);
    const bool sequence = cmd.raw || video || in_sequence || cmd.reads_video;
    // Into a folder, each file keeps its input's name and so its type: see
    // check_saved_types.
    const bool into_folder = image::is_directory(cmd.out) || (in_sequence && !image::is_frame_pattern(cmd.out));
    const bool png = !into_folder && type == image::PictureType::png;
    const bool jpeg = !into_folder && type == image::PictureType::jpeg;
    const std::string out = "'" + cmd.out + "'";
    for (const char* option : {"--crf", "--lossless", "--encoder-options", "--sound"}) {
        if (is_given(cmd, option) && !video) {
            error = std::string(option) + " is for a video OUT (.mp4, .m4v, .mov, .mkv or .webm), not " + out;
            return false;
        }
    }
    const struct { const char* option; bool useless; const char* what; } pictures[] = {
        {"--quality", video || cmd.raw || png, "JPEG files"},
        {"--png-level", video || cmd.raw || jpeg, "PNG files"},
        {"--frames", !sequence, "a video, a frame sequence or --raw"},
    };
    for (const auto& p : pictures) {
        if (is_given(cmd, p.option) && p.useless) {
            error = std::string(p.option) + " is for " + p.what + "; it does nothing for " + out;
            return false;
        }
    }
    return true;
}

bool check_saved_types(const ApplyCommand& cmd, const std::vector<image::FramePair>& frames, std::string& error) {
    const struct { const char* option; image::PictureType type; const char* what; } options[] = {
        {"--quality", image::PictureType::jpeg, "JPEG"},
        {"--png-level", image::PictureType::png, "PNG"},
    };
    for (const auto& o : options) {
        const bool used = std::any_of(frames.begin(), frames.end(), [&](const image::FramePair& f) {
            return image::picture_type_to_save(f.out) == o.type;
        });
        if (is_given(cmd, o.option) && !used) {
            error = std::string(o.option) + " is for " + o.what + " files, and '" + cmd.out + "' gets none";
            return false;
        }
    }
    return true;
}

bool split_shell_words(const std::string& text, std::vector<std::string>& out) {
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0 && c == quote) {
            quote = 0;
        } else if (c == '\\' && quote != '\'' && i + 1 < text.size()) {
            word += text[++i];
            in_word = true;
        } else if (quote != 0) {
            word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            in_word = true;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (in_word) out.push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) out.push_back(word);
    return quote == 0;
}

int parse_output_option(const std::string& option, const std::vector<std::string>& words, size_t& at,
                        OutputOptions& out, std::string& error) {
    if (option == "--lossless") {
        out.lossless = true;
        return 1;
    }
    if (option != "--quality" && option != "--crf" && option != "--encoder-options" && option != "--frames" &&
        option != "--sound") {
        return 0;
    }
    if (at == words.size()) {
        error = option + " needs a value";
        return -1;
    }
    const std::string& value = words[at++];
    unsigned long long n = 0;
    if (option == "--encoder-options") {
        if (split_shell_words(value, out.encoder_options)) return 1;
        error = "--encoder-options has an unclosed quote; got '" + value + "'";
        return -1;
    }
    if (option == "--sound") {
        const char* const modes[] = {"auto", "copy", "encode", "none"};
        size_t k = 0;
        while (k < 4 && value != modes[k]) ++k;
        if (k == 4) {
            error = "--sound takes auto, copy, encode or none; got '" + value + "'";
            return -1;
        }
        out.sound = static_cast<image::SoundMode>(k);
    } else if (option == "--quality") {
        if (!parse_whole(option, value, 1, 100, n, error)) return -1;
        out.quality = static_cast<int>(n);
    } else if (option == "--crf") {
        if (!parse_whole(option, value, 0, 63, n, error)) return -1;
        out.crf = static_cast<int>(n);
    } else {
        if (!parse_whole(option, value, 1, max_frames, n, error)) return -1;
        out.frames = n;
    }
    return 1;
}

static bool check_output_name(const ApplyCommand& cmd, std::string& error) {
    if (cmd.raw || cmd.writes_video || image::is_directory(cmd.out)) return true;
    if (!image::is_frame_pattern(cmd.out) && (image::is_frame_pattern_in(cmd.in) || image::is_directory(cmd.in))) return true;
    if (image::picture_type_to_save(cmd.out) != image::PictureType::none) return true;
    error = "cannot write '" + cmd.out + "': " + image::unknown_type_reason(cmd.out) +
            "; or a video name: .mp4, .m4v, .mov, .mkv or .webm";
    return false;
}

PlanFault plan_apply(const std::vector<std::string>& words, const std::vector<FilterSpec>& filters,
                     ApplyCommand& cmd, std::string& error) {
    if (!parse_apply(words, filters, cmd, error) || !check_option_use(cmd, error)) return PlanFault::usage;
    for (const Step& step : cmd.steps) {
        if (!find_filter(filters, step.function)->registered) {
            error = step.function + " is not in this librururev";
            return PlanFault::usage;
        }
    }
    if (!cmd.raw && !image::check_frame_patterns(cmd.in, cmd.out, error)) return PlanFault::usage;
    return check_output_name(cmd, error) ? PlanFault::none : PlanFault::output_name;
}

}  // namespace rururev::cli
