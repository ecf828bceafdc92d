#include "image/video_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "image/child_process.h"
#include "image/png_io.h"

namespace rururev::image {

namespace {


std::string lower_extension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext;
}

struct Container {
    const char* extension;
    const char* muxer;
    std::vector<std::string> codec;  // the video codec and its options
    const char* crf_default;
};

const Container containers[] = {
    {".mp4", "mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18"},
    {".m4v", "mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18"},
    {".mov", "mov", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18"},
    {".mkv", "matroska", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18"},
    {".webm", "webm", {"-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p", "-b:v", "0"}, "32"},
};

const Container* container_of(const std::string& path) {
    const std::string ext = lower_extension(path);
    for (const Container& c : containers) {
        if (ext == c.extension) return &c;
    }
    return nullptr;
}

bool parse_rate(const std::string& text, uint64_t& num, uint64_t& den) {
    char* end = nullptr;
    num = std::strtoull(text.c_str(), &end, 10);
    den = 1;
    if (*end == '/') den = std::strtoull(end + 1, &end, 10);
    return *end == '\0' && num > 0 && den > 0 && text[0] >= '0' && text[0] <= '9';
}


constexpr bool little_endian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// Words from blue, green, red, alpha bytes; in place on little-endian
// machines, where the bytes are the words already.
void bgra_to_words_in_place(uint32_t* words, size_t count) {
    if (little_endian) return;
    auto* bytes = reinterpret_cast<unsigned char*>(words);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* p = bytes + 4 * i;
        words[i] = uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
}

}  // namespace

bool find_video_tools(VideoTools& tools, std::string& error) {
    tools.ffmpeg = find_program("ffmpeg");
    tools.ffprobe = find_program("ffprobe");
    if (!tools.ffmpeg.empty() && !tools.ffprobe.empty()) return true;
    error = std::string("video needs the ffmpeg and ffprobe programs, and ") +
            (tools.ffmpeg.empty() ? "ffmpeg" : "ffprobe") +
            " is not on the PATH (on Debian: apt-get install ffmpeg)";
    return false;
}

bool probe_video(const VideoTools& tools, const std::string& path, VideoInfo& info, std::string& error) {
    Child child;
    std::string out;
    int status = 0;
    const bool ran = run_capture({tools.ffprobe, "-v", "error", "-count_packets", "-show_entries",
                                  "stream=codec_type,width,height,r_frame_rate,nb_read_packets:"
                                  "stream_side_data=rotation",
                                  "-of", "default=nw=1", "--", path},
                                 out, status, child, error);
    if (ran && status != 0) {
        // Its last line says "PATH: reason"; the reason is what is new.
        std::string reason = ending(status, child);
        reason = reason.substr(reason.rfind(" / ") == std::string::npos ? 0 : reason.rfind(" / ") + 3);
        if (reason.compare(0, path.size() + 2, path + ": ") == 0) reason.erase(0, path.size() + 2);
        error = "cannot read '" + path + "': " + reason;
    }
    close_log(child);
    if (!ran || status != 0) return false;
    // One key=value a line; each stream starts with its codec_type.
    std::istringstream lines(out);
    int video = 0;  // 1 while in the first video stream, 2 after it
    long rotation = 0;
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_type") {
            if (value == "audio") info.has_sound = true;
            video = value == "video" && video == 0 ? 1 : (video == 1 ? 2 : video);
            continue;
        }
        if (video != 1) continue;
        if (key == "width") info.width = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        if (key == "height") info.height = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        if (key == "r_frame_rate") info.rate = value;
        if (key == "nb_read_packets") info.frames = std::strtoull(value.c_str(), nullptr, 10);
        if (key == "rotation") rotation = std::strtol(value.c_str(), nullptr, 10);
    }
    if (video == 0) {
        error = "cannot read '" + path + "': it has no video stream";
        return false;
    }
    // The decoder turns pictures the file says to show turned.
    if (rotation % 180 != 0) std::swap(info.width, info.height);
    uint64_t num = 0, den = 0;
    if (!parse_rate(info.rate, num, den)) info.rate = "25";
    if (info.width == 0 || info.height == 0 || uint64_t{info.width} * info.height > max_pixels) {
        error = "cannot read '" + path + "': frames of " + std::to_string(info.width) + " x " +
                std::to_string(info.height) + " pixels";
        return false;
    }
    return true;
}

bool is_video_name(const std::string& path) { return container_of(path) != nullptr; }

bool check_encode_options(const std::string& path, const EncodeOptions& options, std::string& error) {
    const Container* c = container_of(path);
    if (c == nullptr) {
        error = "cannot write '" + path + "': not a video name (use .mp4, .m4v, .mov, .mkv or .webm)";
        return false;
    }
    if (options.lossless && std::string(c->extension) != ".mkv") {
        error = "cannot write '" + path + "': lossless video needs a .mkv name";
        return false;
    }
    uint64_t num = 0, den = 0;
    if (!parse_rate(options.rate, num, den)) {
        error = "cannot write '" + path + "': the frame rate must be N or N/D, got '" + options.rate + "'";
        return false;
    }
    return true;
}

bool VideoReader::open(const VideoTools& tools, const std::string& path, const VideoInfo& info,
                       uint64_t max_frames, std::string& error) {
    path_ = path;
    frame_bytes_ = size_t{info.width} * info.height * 4;
    std::vector<std::string> argv = {tools.ffmpeg, "-nostdin", "-hide_banner", "-v", "error",
                                     "-i", path, "-map", "0:v:0", "-fps_mode", "passthrough"};
    if (max_frames > 0) argv.insert(argv.end(), {"-frames:v", std::to_string(max_frames)});
    argv.insert(argv.end(), {"-f", "rawvideo", "-pix_fmt", "bgra", "pipe:1"});
    int fds[2];
    if (!make_pipe(fds, error)) return false;
    const bool started = spawn(argv, -1, fds[1], child_, error);
    ::close(fds[1]);
    if (!started) {
        ::close(fds[0]);
        close_log(child_);
        return false;
    }
    pipe_ = fds[0];
    return true;
}

int VideoReader::read(uint32_t* words, std::string& error) {
    if (pipe_ < 0) return 0;
    const ssize_t got = read_full(pipe_, reinterpret_cast<unsigned char*>(words), frame_bytes_);
    if (got < 0) {
        error = interrupted() ? "interrupted" : "cannot read from ffmpeg: " + std::string(std::strerror(errno));
        stop();
        return -1;
    }
    if (static_cast<size_t>(got) == frame_bytes_) {
        bgra_to_words_in_place(words, frame_bytes_ / 4);
        return 1;
    }
    ::close(pipe_);
    pipe_ = -1;
    const int status = wait_child(child_);
    if (status != 0 || got != 0) {
        error = "cannot decode '" + path_ + "': " +
                (status != 0 ? ending(status, child_) : "the last frame is short");
        close_log(child_);
        return -1;
    }
    close_log(child_);
    return 0;
}

void VideoReader::stop() {
    if (pipe_ >= 0) ::close(pipe_);
    pipe_ = -1;
    kill_child(child_);
    close_log(child_);
}

bool VideoWriter::open(const VideoTools& tools, const std::string& path, uint32_t width,
                       uint32_t height, const EncodeOptions& options, std::string& error) {
    if (!check_encode_options(path, options, error)) return false;
    const Container& c = *container_of(path);
    path_ = path;
    frame_bytes_ = size_t{width} * height * 4;
    char reason[300];
    if (!atomic_open(&out_, path.c_str(), reason, sizeof reason)) {
        error = "cannot write '" + path + "': " + reason;
        return false;
    }
    std::vector<std::string> argv = {tools.ffmpeg, "-nostdin", "-hide_banner", "-v", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "bgra",
                                     "-s", std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate", options.rate, "-i", "pipe:0"};
    if (!options.sound_from.empty()) {
        argv.insert(argv.end(), {"-i", options.sound_from, "-map", "0:v:0", "-map", "1:a?", "-c:a", "copy"});
        if (options.shortest) argv.push_back("-shortest");
    }
    if (options.lossless) {
        argv.insert(argv.end(), {"-c:v", "ffv1", "-pix_fmt", "bgra"});
    } else {
        argv.insert(argv.end(), c.codec.begin(), c.codec.end());
        argv.insert(argv.end(), {"-crf", options.crf >= 0 ? std::to_string(options.crf) : c.crf_default});
    }
    argv.insert(argv.end(), options.extra.begin(), options.extra.end());
    argv.insert(argv.end(), {"-f", c.muxer, out_.direct ? out_.final_path : out_.temp_path});
    int fds[2];
    if (!make_pipe(fds, error)) {
        atomic_abort(&out_);
        return false;
    }
    const bool started = spawn(argv, fds[0], -1, child_, error);
    ::close(fds[0]);
    if (!started) {
        ::close(fds[1]);
        close_log(child_);
        atomic_abort(&out_);
        return false;
    }
    pipe_ = fds[1];
    return true;
}

// The encoder stopped taking frames or ended badly: its own words.
bool VideoWriter::fail_from_encoder(const std::string& what, std::string& error) {
    if (pipe_ >= 0) ::close(pipe_);
    pipe_ = -1;
    const int status = child_.pid > 0 ? wait_child(child_) : 0;
    error = "cannot encode '" + path_ + "': " + (status != 0 ? ending(status, child_) : what);
    abort();
    return false;
}

bool VideoWriter::write(const uint32_t* words, std::string& error) {
    int err = 0;
    bool ok;
    if (little_endian) {
        ok = write_full(pipe_, reinterpret_cast<const unsigned char*>(words), frame_bytes_, err);
    } else {
        std::vector<unsigned char> bytes(frame_bytes_);
        for (size_t i = 0; i < frame_bytes_ / 4; ++i) {
            for (int k = 0; k < 4; ++k) bytes[4 * i + k] = static_cast<unsigned char>(words[i] >> (8 * k));
        }
        ok = write_full(pipe_, bytes.data(), bytes.size(), err);
    }
    if (ok) return true;
    if (err == EINTR) {
        error = "interrupted";
        abort();
        return false;
    }
    return fail_from_encoder("ffmpeg stopped taking frames", error);
}

bool VideoWriter::close(std::string& error) {
    if (pipe_ >= 0) ::close(pipe_);
    pipe_ = -1;
    const int status = wait_child(child_);
    if (status != 0 || interrupted()) {
        error = interrupted() ? "interrupted" : "cannot encode '" + path_ + "': " + ending(status, child_);
        abort();
        return false;
    }
    close_log(child_);
    char reason[300];
    if (!atomic_commit(&out_, reason, sizeof reason)) {
        error = "cannot write '" + path_ + "': " + reason;
        return false;
    }
    return true;
}

void VideoWriter::abort() {
    if (pipe_ >= 0) ::close(pipe_);
    pipe_ = -1;
    kill_child(child_);
    close_log(child_);
    if (out_.file != nullptr) atomic_abort(&out_);
}

}  // namespace rururev::image
