#include "cli/video.h"

#include <csignal>
#include <cstdio>

#include "cli/progress.h"
#include "image/frames.h"
#include "image/picture_file.h"
#include "image/video_io.h"

namespace rururev::cli {

namespace {

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

namespace {

// The frames of a video IN, or the pictures of a folder, a pattern or one
// picture, all of the first one's size.
struct FrameInput {
    image::VideoReader video;
    std::vector<std::string> pictures;
    size_t next = 0;

    int read(const image::VideoInfo& info, std::vector<uint32_t>& words, std::string& error) {
        if (pictures.empty()) return video.read(words.data(), error);
        if (next == pictures.size()) return 0;
        image::Raster picture;
        if (!image::load_picture(pictures[next], picture, error)) return -1;
        if (picture.width != info.width || picture.height != info.height) {
            error = "cannot load '" + pictures[next] + "': it is " + std::to_string(picture.width) + " x " +
                    std::to_string(picture.height) + " pixels, the frames before it " +
                    std::to_string(info.width) + " x " + std::to_string(info.height);
            return -1;
        }
        words.swap(picture.words);
        ++next;
        return 1;
    }
};

// The pictures IN gives, the first one's size as the video's.
bool plan_pictures(const std::string& in, FrameInput& input, image::VideoInfo& info, std::string& error) {
    std::vector<image::FramePair> plan;
    if (!image::plan_frames(in, "%d", plan, error)) return false;
    for (const image::FramePair& f : plan) input.pictures.push_back(f.in);
    image::Raster first;
    if (!image::load_picture(input.pictures[0], first, error)) return false;
    info.width = first.width;
    info.height = first.height;
    info.frames = input.pictures.size();
    return true;
}

// The pattern a video's frames are written to: OUT itself, or numbered
// PNG files in the folder OUT; "" with the reason for any other OUT.
std::string frame_pattern_of(const std::string& out, std::string& error) {
    if (image::is_frame_pattern(out)) return out;
    if (!image::is_directory(out) && (out.empty() || out.back() != '/')) {
        error = "cannot write '" + out + "': a video gives many frames: name a folder, a video or a pattern "
                "such as out/%04d.png";
        return "";
    }
    std::string folder;
    for (char c : out) folder += c == '%' ? "%%" : std::string(1, c);
    return folder + (folder.back() == '/' ? "" : "/") + "%06d.png";
}

}  // namespace

int apply_video(LuaHost& host, const ApplyCommand& cmd) {
    const bool from_video = cmd.reads_video, to_video = cmd.writes_video;
    image::VideoTools tools;
    std::string error;
    if ((from_video || to_video) && !image::find_video_tools(tools, error)) {
        if (!to_video) error = "cannot load '" + cmd.in + "': not a PNG or JPEG file; if it is a video: " + error;
        return report(error, exit_usage);
    }
    image::EncodeOptions encode;
    encode.crf = cmd.output.crf;
    encode.lossless = cmd.output.lossless;
    encode.extra = cmd.output.encoder_options;
    if (to_video && !image::check_encode_options(cmd.out, encode, error)) return report(error, exit_usage);

    caught_signal = 0;
    SignalGuard guard;
    image::VideoInfo info;
    FrameInput input;
    if (from_video ? !image::probe_video(tools, cmd.in, info, error) : !plan_pictures(cmd.in, input, info, error)) {
        if (from_video && !to_video) {
            error = "cannot load '" + cmd.in + "': not a PNG or JPEG file, nor a video (" +
                    error.substr(error.find("': ") + 3) + ")";
        }
        return caught_signal != 0 ? interrupted(cmd) : report(error, exit_failure);
    }
    const std::string pattern = to_video ? "" : frame_pattern_of(cmd.out, error);
    if (!to_video && pattern.empty()) return report(error, exit_usage);
    if (from_video) image::encode_like(cmd.in, info, encode);
    encode.sound = cmd.output.sound;
    encode.frames = cmd.output.frames;
    if (to_video && (!image::check_encode_options(cmd.out, encode, error) ||
                     !image::check_frame_size(cmd.out, encode, info.width, info.height, error))) {
        return report(error, exit_failure);
    }
    if (from_video) {
        const std::string note = image::depth_note(cmd.in, info);
        if (!note.empty()) std::fprintf(stderr, "rururev: %s\n", note.c_str());
    }
    for (const std::string& note : to_video ? image::encode_notes(cmd.out, encode) : std::vector<std::string>{}) {
        std::fprintf(stderr, "rururev: %s\n", note.c_str());
    }
    image::NewFolders folders;  // OUT's, removed again when the run fails
    image::VideoWriter writer;
    if ((from_video && !input.video.open(tools, cmd.in, info, cmd.output.frames, error)) ||
        !image::make_folders(image::folder_of(to_video ? cmd.out : image::format_frame(pattern, 1)), error, &folders) ||
        (to_video && !writer.open(tools, cmd.out, info.width, info.height, encode, error))) {
        return report(error, exit_failure);
    }
    image::SaveOptions saving;
    saving.quality = cmd.output.quality;
    saving.png_level = cmd.png_level;
    uint64_t total = info.frames;
    if (cmd.output.frames > 0 && (total == 0 || cmd.output.frames < total)) total = cmd.output.frames;
    ProgressBar progress(static_cast<size_t>(total));
    std::vector<uint32_t> words(size_t{info.width} * info.height);
    for (size_t done = 0; cmd.output.frames == 0 || done < cmd.output.frames;) {
        const int got = caught_signal != 0 ? -1 : input.read(info, words, error);
        bool ok = got >= 0;
        if (got == 0) break;
        ok = ok && run_chain(host, cmd.steps, words.data(), info.width, info.height, error) && caught_signal == 0;
        if (ok && to_video) ok = writer.write(words.data(), error);
        if (ok && !to_video) {
            image::Raster frame{info.width, info.height, std::move(words), {}};
            ok = image::save_picture(image::format_frame(pattern, done + 1), frame, saving, error);
            words.swap(frame.words);
        }
        if (!ok) {
            progress.finish(false);
            writer.abort();
            input.video.stop();
            return caught_signal != 0 ? interrupted(cmd) : report(error, exit_failure);
        }
        progress.update(++done);
    }
    // The summary says the run succeeded: only once the file is in place.
    const bool closed = !to_video || writer.close(error, [&](const char* what) { progress.phase(what); });
    progress.finish(closed);
    if (!closed) return caught_signal != 0 ? interrupted(cmd) : report(error, exit_failure);
    folders.keep();
    return 0;
}

}  // namespace rururev::cli
