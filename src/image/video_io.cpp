#include "image/video_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
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
    const char* sound_held;          // the sound codecs it holds as they are, between spaces
    const char* sound_encoder;       // what it encodes other sound to
};

const char* const mp4_sound = " aac mp3 ac3 eac3 alac ";
const char* const mov_sound = " aac mp3 ac3 eac3 alac pcm_s16le pcm_s16be pcm_s24le pcm_s24be pcm_s32le "
                              "pcm_s32be pcm_f32le pcm_f32be pcm_u8 ";
const char* const mkv_sound = " aac mp3 ac3 eac3 alac opus vorbis flac dts truehd pcm_s16le pcm_s16be "
                              "pcm_s24le pcm_s24be pcm_s32le pcm_s32be pcm_f32le pcm_u8 ";

const Container containers[] = {
    {".mp4", "mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18", mp4_sound, "aac"},
    {".m4v", "mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18", mp4_sound, "aac"},
    {".mov", "mov", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18", mov_sound, "aac"},
    {".mkv", "matroska", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18", mkv_sound, "aac"},
    {".webm", "webm", {"-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p", "-b:v", "0"}, "32", " opus vorbis ",
     "libopus"},
};

bool holds_sound(const Container& c, const std::string& codec) {
    return codec.empty() || std::string(c.sound_held).find(" " + codec + " ") != std::string::npos;
}

bool encodes_sound(const Container& c, const EncodeOptions& options) {
    return options.sound == SoundMode::encode ||
           (options.sound == SoundMode::automatic && !holds_sound(c, options.sound_codec));
}

// The matrix swscale turns words into the file's pixels with, by the
// file's colour space; "" for the default one.
std::string scale_matrix(const std::string& colour_space) {
    if (colour_space == "bt709" || colour_space == "fcc" || colour_space == "smpte240m") return colour_space;
    if (colour_space == "smpte170m" || colour_space == "bt470bg") return "bt601";
    if (colour_space == "bt2020nc" || colour_space == "bt2020c") return "bt2020";
    return "";
}

// Turns the words into pixels with the input's matrix and range and writes
// its colour tags on the file, so that players show the colours it showed.
void add_colour(const ColourTags& colour, std::vector<std::string>& argv) {
    const std::string matrix = scale_matrix(colour.matrix);
    std::string scale;
    if (!matrix.empty()) scale = "out_color_matrix=" + matrix;
    if (colour.range == "tv" || colour.range == "pc") scale += (scale.empty() ? "" : ":") + ("out_range=" + colour.range);
    if (!scale.empty()) argv.insert(argv.end(), {"-vf", "scale=" + scale});
    if (!matrix.empty()) argv.insert(argv.end(), {"-colorspace", colour.matrix});
    if (!scale.empty() && !colour.range.empty()) argv.insert(argv.end(), {"-color_range", colour.range});
    if (!colour.primaries.empty()) argv.insert(argv.end(), {"-color_primaries", colour.primaries});
    if (!colour.transfer.empty()) argv.insert(argv.end(), {"-color_trc", colour.transfer});
}

std::string seconds(double s) {
    char text[40];
    std::snprintf(text, sizeof text, "%.6f", s);
    return text;
}

const Container* container_of(const std::string& path) {
    const std::string ext = lower_extension(path);
    for (const Container& c : containers) {
        if (ext == c.extension) return &c;
    }
    return nullptr;
}

// The name ffmpeg and ffprobe are given for a file: through the file
// protocol, so that a name such as "http:x.mp4" or "-out.mp4" names that
// file and is never read as an address or an option.
std::string file_argument(const std::string& path) { return "file:" + path; }

bool parse_rate(const std::string& text, uint64_t& num, uint64_t& den) {
    char* end = nullptr;
    num = std::strtoull(text.c_str(), &end, 10);
    den = 1;
    if (*end == '/') den = std::strtoull(end + 1, &end, 10);
    return *end == '\0' && num > 0 && den > 0 && text[0] >= '0' && text[0] <= '9';
}


// A field ffprobe gave, "" when it gave none or said it does not know.
std::string field(const std::map<std::string, std::string>& stream, const char* key) {
    const auto at = stream.find(key);
    if (at == stream.end() || at->second == "unknown" || at->second == "N/A") return "";
    return at->second;
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
                                  "stream=codec_type,codec_name,width,height,r_frame_rate,avg_frame_rate,duration,nb_read_packets,"
                                  "start_time,color_space,color_range,color_primaries,color_transfer:"
                                  "stream_side_data=rotation",
                                  "-of", "default", file_argument(path)},
                                 out, status, child, error);
    if (ran && status != 0) {
        // Its last line says "PATH: reason"; the reason is what is new.
        std::string reason = ending(status, child);
        reason = reason.substr(reason.rfind(" / ") == std::string::npos ? 0 : reason.rfind(" / ") + 3);
        const std::string named = file_argument(path) + ": ";
        if (reason.compare(0, named.size(), named) == 0) reason.erase(0, named.size());
        error = "cannot read '" + path + "': " + reason;
    }
    close_log(child);
    if (!ran || status != 0) return false;
    // One key=value a line, each stream between [STREAM] and [/STREAM].
    std::vector<std::map<std::string, std::string>> streams;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (line == "[STREAM]") streams.emplace_back();
        if (eq == std::string::npos || streams.empty()) continue;
        streams.back()[line.substr(0, eq)] = line.substr(eq + 1);
    }
    const std::map<std::string, std::string>* video = nullptr;
    double first_start = 1e300;
    for (const auto& stream : streams) {
        const auto type = stream.find("codec_type"), start = stream.find("start_time");
        if (type == stream.end()) continue;
        if (start != stream.end() && start->second != "N/A") {
            first_start = std::min(first_start, std::strtod(start->second.c_str(), nullptr));
        }
        if (type->second == "video" && video == nullptr) video = &stream;
        if (type->second == "audio" && !info.has_sound) {
            info.has_sound = true;
            info.sound_codec = field(stream, "codec_name");
        }
    }
    if (video == nullptr) {
        error = "cannot read '" + path + "': it has no video stream";
        return false;
    }
    info.width = static_cast<uint32_t>(std::strtoul(field(*video, "width").c_str(), nullptr, 10));
    info.height = static_cast<uint32_t>(std::strtoul(field(*video, "height").c_str(), nullptr, 10));
    info.rate = field(*video, "r_frame_rate");
    info.packets = info.frames = std::strtoull(field(*video, "nb_read_packets").c_str(), nullptr, 10);
    info.colour = {field(*video, "color_space"), field(*video, "color_range"), field(*video, "color_primaries"),
                   field(*video, "color_transfer")};
    const std::string start = field(*video, "start_time");
    if (!start.empty() && first_start < 1e300) info.start = std::strtod(start.c_str(), nullptr) - first_start;
    const long rotation = std::strtol(field(*video, "rotation").c_str(), nullptr, 10);
    // The decoder turns pictures the file says to show turned.
    if (rotation % 180 != 0) std::swap(info.width, info.height);
    uint64_t num = 0, den = 0;
    const bool rate_given = parse_rate(info.rate, num, den);
    if (!rate_given) info.rate = "25";
    // A variable rate is decoded at the constant one: as many frames as its length takes.
    const double length = rate_given ? std::strtod(field(*video, "duration").c_str(), nullptr) * num / den : 0;
    if (field(*video, "avg_frame_rate") != info.rate && length > 0 && length < 1e12) {
        info.frames = static_cast<uint64_t>(length + 0.5);
    }
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
    if (!options.sound_from.empty() && options.sound == SoundMode::copy && !holds_sound(*c, options.sound_codec)) {
        error = "cannot write '" + path + "': " + c->extension + " cannot hold " + options.sound_codec +
                " sound as it is; encode it (--sound encode) or leave it out (--sound none)";
        return false;
    }
    return true;
}

bool check_frame_size(const std::string& path, const EncodeOptions& options, uint32_t width,
                      uint32_t height, std::string& error) {
    if (options.lossless || (width % 2 == 0 && height % 2 == 0)) return true;
    error = "cannot write '" + path + "': its frames are " + std::to_string(width) + " x " +
            std::to_string(height) + " pixels, and its codec (4:2:0) needs even sizes; " +
            "a lossless .mkv (--lossless) keeps every size";
    return false;
}

std::string sound_note(const std::string& path, const EncodeOptions& options) {
    const Container* c = container_of(path);
    if (c == nullptr || options.sound_from.empty() || options.sound != SoundMode::automatic ||
        !encodes_sound(*c, options)) {
        return "";
    }
    const std::string codec = c->sound_encoder;
    return "the sound is encoded as " + codec.substr(codec.compare(0, 3, "lib") == 0 ? 3 : 0) + ": " + c->extension +
           " cannot hold " + options.sound_codec + " sound as it is";
}

bool VideoReader::open(const VideoTools& tools, const std::string& path, const VideoInfo& info,
                       uint64_t max_frames, std::string& error, uint64_t first) {
    path_ = path;
    frame_bytes_ = size_t{info.width} * info.height * 4;
    std::vector<std::string> argv = {tools.ffmpeg, "-nostdin", "-hide_banner", "-v", "error"};
    if (first > 0) {
        // Half a frame before frame `first`: frames before that time are
        // decoded and dropped, so `first` comes first.
        uint64_t num = 1, den = 1;
        parse_rate(info.rate, num, den);
        argv.insert(argv.end(), {"-ss", seconds(info.start + (static_cast<double>(first) - 0.5) * den / num)});
    }
    argv.insert(argv.end(), {"-i", file_argument(path), "-map", "0:v:0", "-fps_mode", "passthrough",
                                     // A picture shown longer is repeated, so that a variable
                                     // rate becomes the constant one with every frame in time.
                                     "-vf", "fps=" + info.rate});
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
    if (!check_encode_options(path, options, error) || !check_frame_size(path, options, width, height, error)) {
        return false;
    }
    const Container& c = *container_of(path);
    path_ = path;
    tools_ = tools;
    frame_bytes_ = size_t{width} * height * 4;
    frames_ = 0;
    char reason[300];
    if (!atomic_open(&out_, path.c_str(), reason, sizeof reason)) {
        error = "cannot write '" + path + "': " + reason;
        return false;
    }
    options_ = options;
    const bool wants_sound = !options.sound_from.empty() && options.sound != SoundMode::none;
    sound_at_close_ = wants_sound && options.sound_at_close && !out_.direct;
    if (sound_at_close_ && !atomic_open(&picture_, path.c_str(), reason, sizeof reason)) {
        error = "cannot write '" + path + "': " + reason;
        atomic_abort(&out_);
        return false;
    }
    std::vector<std::string> argv = {tools.ffmpeg, "-nostdin", "-hide_banner", "-v", "error", "-y"};
    // A picture that starts after the sound still does.
    if (options.start > 0) argv.insert(argv.end(), {"-itsoffset", seconds(options.start)});
    argv.insert(argv.end(), {"-f", "rawvideo", "-pix_fmt", "bgra",
                             "-s", std::to_string(width) + "x" + std::to_string(height),
                             "-framerate", options.rate, "-i", "pipe:0"});
    const bool sound = wants_sound && !sound_at_close_;
    if (sound && options.frames > 0) {
        uint64_t num = 1, den = 1;
        parse_rate(options.rate, num, den);
        argv.insert(argv.end(), {"-t", seconds(options.start + static_cast<double>(options.frames) * den / num)});
    }
    if (sound) argv.insert(argv.end(), {"-i", file_argument(options.sound_from)});
    // Every frame as given, at its time: none repeated to fill a late start.
    argv.insert(argv.end(), {"-map", "0:v:0", "-fps_mode", "passthrough"});
    if (sound) {
        argv.insert(argv.end(), {"-map", "1:a?", "-c:a", encodes_sound(c, options) ? c.sound_encoder : "copy"});
    }
    if (options.lossless) {
        argv.insert(argv.end(), {"-c:v", "ffv1", "-pix_fmt", "bgra"});
    } else {
        argv.insert(argv.end(), c.codec.begin(), c.codec.end());
        argv.insert(argv.end(), {"-crf", options.crf >= 0 ? std::to_string(options.crf) : c.crf_default});
        add_colour(options.colour, argv);
    }
    argv.insert(argv.end(), options.extra.begin(), options.extra.end());
    // -xerror: a failed write of the file (a full disk) ends the encoder
    // with a failure instead of status 0.
    argv.insert(argv.end(), {"-xerror", "-f", c.muxer,
                             file_argument(out_.direct ? out_.final_path
                                           : sound_at_close_ ? picture_.temp_path : out_.temp_path)});
    int fds[2];
    if (!make_pipe(fds, error)) {
        abort();
        return false;
    }
    const bool started = spawn(argv, fds[0], -1, child_, error);
    ::close(fds[0]);
    if (!started) {
        ::close(fds[1]);
        abort();
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
    error = "cannot encode '" + path_ + "': " + (status != 0 ? named_as_output(ending(status, child_)) : what);
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
    if (ok) {
        ++frames_;
        return true;
    }
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
        error = interrupted() ? "interrupted" : "cannot encode '" + path_ + "': " + named_as_output(ending(status, child_));
        abort();
        return false;
    }
    if (!check_written(sound_at_close_ ? picture_.temp_path : out_.temp_path, error)) {
        abort();
        return false;
    }
    close_log(child_);
    if (sound_at_close_ && (!add_sound(error) || !check_written(out_.temp_path, error))) {
        abort();
        return false;
    }
    if (picture_.file != nullptr) atomic_abort(&picture_);
    char reason[300];
    if (!atomic_commit(&out_, reason, sizeof reason)) {
        error = "cannot write '" + path_ + "': " + reason;
        return false;
    }
    return true;
}

// Reads the finished file back: it must hold every frame given. ffmpeg may
// end well having failed to write (its status is not trusted alone).
bool VideoWriter::check_written(const char* file, std::string& error) {
    if (out_.direct) return true;  // a pipe or a device: nothing to read back
    VideoInfo written;
    std::string reason;
    if (probe_video(tools_, file, written, reason) && written.packets == frames_) return true;
    if (reason.empty()) {
        reason = "the file holds " + std::to_string(written.packets) + " of " + std::to_string(frames_) + " frames";
    } else {
        reason = reason.substr(reason.find("': ") + 3);
    }
    const std::string said = ending(0, child_);
    error = "cannot encode '" + path_ + "': " +
            named_as_output(said == "exit status 0" ? reason : said.substr(0, said.rfind(" (exit status 0)")));
    return false;
}

// Puts the sound beside the picture, which is copied, cut where the last
// frame ends, as the encoder does for a known number of frames; the
// timestamps stay as they are, so that a late picture still starts late.
bool VideoWriter::add_sound(std::string& error) {
    const Container& c = *container_of(path_);
    uint64_t num = 1, den = 1;
    parse_rate(options_.rate, num, den);
    const std::vector<std::string> argv = {
        tools_.ffmpeg, "-nostdin", "-hide_banner", "-v", "error", "-y", "-i", file_argument(picture_.temp_path),
        "-t", seconds(options_.start + static_cast<double>(frames_) * den / num), "-i", file_argument(options_.sound_from),
        "-map", "0:v", "-map", "1:a?", "-c:v", "copy", "-c:a", encodes_sound(c, options_) ? c.sound_encoder : "copy",
        "-copyts", "-xerror", "-f", c.muxer, file_argument(out_.temp_path)};
    std::string ignored;
    int status = 0;
    Child muxer;
    const bool ran = run_capture(argv, ignored, status, muxer, error);
    if (ran && status != 0) error = "cannot encode '" + path_ + "': " + named_as_output(ending(status, muxer));
    close_log(muxer);
    return ran && status == 0;
}

// ffmpeg's words with the temporary file called by the name the user gave.
std::string VideoWriter::named_as_output(std::string text) const {
    const std::string temp = file_argument(out_.temp_path);
    for (size_t at = text.find(temp); at != std::string::npos; at = text.find(temp, at + path_.size())) {
        text.replace(at, temp.size(), path_);
    }
    if (picture_.file == nullptr) return text;
    const std::string picture = file_argument(picture_.temp_path);
    for (size_t at = text.find(picture); at != std::string::npos; at = text.find(picture, at + path_.size())) {
        text.replace(at, picture.size(), path_);
    }
    return text;
}

void VideoWriter::abort() {
    if (pipe_ >= 0) ::close(pipe_);
    pipe_ = -1;
    kill_child(child_);
    close_log(child_);
    if (out_.file != nullptr) atomic_abort(&out_);
    if (picture_.file != nullptr) atomic_abort(&picture_);
}

}  // namespace rururev::image
