#include "cli/video.h"

#include <csignal>
#include <cstdio>
#include <sstream>

#include <sys/stat.h>

#include "cli/chain.h"
#include "cli/frames.h"
#include "cli/progress.h"
#include "image/picture_file.h"
#include "image/video_io.h"

namespace rururev::cli {

namespace {

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

int report(const std::string& message, int status) {
    std::fprintf(stderr, "rururev: %s\n", message.c_str());
    return status;
}

bool parse_whole(const std::string& text, long long low, long long high, long long& out) {
    double value = 0;
    if (!parse_number(text, value) || value < static_cast<double>(low) || value > static_cast<double>(high) ||
        value != static_cast<double>(static_cast<long long>(value))) {
        return false;
    }
    out = static_cast<long long>(value);
    return true;
}

bool is_directory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The signal that interrupted a video, or 0. While a video runs, SIGINT,
// SIGTERM and SIGHUP only set it: the run then stops its children and
// removes its temporary file before the program exits.
volatile std::sig_atomic_t caught_signal = 0;

void on_signal(int signal) { caught_signal = signal; }

class SignalGuard {
public:
    SignalGuard() {
        struct sigaction action {};
        action.sa_handler = on_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no restart: a blocked read or write returns at once
        for (size_t k = 0; k < 3; ++k) sigaction(signals_[k], &action, &saved_[k]);
        image::set_interrupt_flag(&caught_signal);
    }
    ~SignalGuard() {
        image::set_interrupt_flag(nullptr);
        for (size_t k = 0; k < 3; ++k) sigaction(signals_[k], &saved_[k], nullptr);
    }

private:
    const int signals_[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction saved_[3];
};

int interrupted(const ApplyCommand& cmd) {
    return report("interrupted; '" + cmd.out + "' was not written", 128 + caught_signal);
}

}  // namespace

int parse_output_option(const std::string& option, const std::vector<std::string>& words, size_t& at,
                        OutputOptions& out, std::string& error) {
    if (option == "--lossless") {
        out.lossless = true;
        return 1;
    }
    if (option != "--quality" && option != "--crf" && option != "--encoder-options" && option != "--frames") {
        return 0;
    }
    if (at == words.size()) {
        error = option + " needs a value";
        return -1;
    }
    const std::string& value = words[at++];
    long long n = 0;
    if (option == "--encoder-options") {
        if (!split_shell_words(value, out.encoder_options)) error = "--encoder-options has an unclosed quote";
    } else if (option == "--quality") {
        if (!parse_whole(value, 1, 100, n)) error = "--quality takes a whole number from 1 to 100";
        out.quality = static_cast<int>(n);
    } else if (option == "--crf") {
        if (!parse_whole(value, 0, 63, n)) error = "--crf takes a whole number from 0 to 63";
        out.crf = static_cast<int>(n);
    } else {
        if (!parse_whole(value, 1, 1LL << 50, n)) error = "--frames takes a whole number from 1";
        out.frames = static_cast<uint64_t>(n);
    }
    if (error.empty()) return 1;
    error += "; got '" + value + "'";
    return -1;
}

bool writes_video(const ApplyCommand& cmd) { return !cmd.raw && image::is_video_name(cmd.out); }

bool check_output_name(const ApplyCommand& cmd, std::string& error) {
    if (cmd.raw || writes_video(cmd) || is_directory(cmd.out)) return true;
    if (!is_frame_pattern(cmd.out) && (is_frame_pattern(cmd.in) || is_directory(cmd.in))) return true;
    if (image::picture_type_to_save(cmd.out) != image::PictureType::none) return true;
    error = "cannot write '" + cmd.out + "': " + image::unknown_type_reason(cmd.out) +
            "; or a video name: .mp4, .m4v, .mov, .mkv or .webm";
    return false;
}

int apply_video(LuaHost& host, const ApplyCommand& cmd) {
    image::VideoTools tools;
    std::string error;
    if (!image::find_video_tools(tools, error)) return report(error, exit_usage);
    image::EncodeOptions encode;
    encode.crf = cmd.output.crf;
    encode.lossless = cmd.output.lossless;
    encode.extra = cmd.output.encoder_options;
    if (!image::check_encode_options(cmd.out, encode, error)) return report(error, exit_usage);

    caught_signal = 0;
    SignalGuard guard;
    image::VideoInfo info;
    if (!image::probe_video(tools, cmd.in, info, error)) {
        return caught_signal != 0 ? interrupted(cmd) : report(error, exit_failure);
    }
    encode.rate = info.rate;
    if (info.has_sound) encode.sound_from = cmd.in;
    encode.shortest = cmd.output.frames > 0;
    image::VideoReader reader;
    image::VideoWriter writer;
    if (!reader.open(tools, cmd.in, info, cmd.output.frames, error) ||
        !writer.open(tools, cmd.out, info.width, info.height, encode, error)) {
        return report(error, exit_failure);
    }
    uint64_t total = info.frames;
    if (cmd.output.frames > 0 && (total == 0 || cmd.output.frames < total)) total = cmd.output.frames;
    ProgressBar progress(static_cast<size_t>(total));
    std::vector<uint32_t> words(size_t{info.width} * info.height);
    for (size_t done = 0;;) {
        const int got = caught_signal != 0 ? -1 : reader.read(words.data(), error);
        bool ok = got >= 0;
        if (got == 0) break;
        ok = ok && run_chain(host, cmd.steps, words.data(), info.width, info.height, error) &&
             caught_signal == 0 && writer.write(words.data(), error);
        if (!ok) {
            progress.finish(false);
            writer.abort();
            reader.stop();
            return caught_signal != 0 ? interrupted(cmd) : report(error, exit_failure);
        }
        progress.update(++done);
    }
    progress.finish();
    if (!writer.close(error)) {
        return caught_signal != 0 ? interrupted(cmd) : report(error, exit_failure);
    }
    return 0;
}

}  // namespace rururev::cli
