#include "image/video_io.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
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
#include "image/picture_file.h"
#include "image/raster.h"

namespace rururev::image {

namespace {

struct Container {
    const char* extension;
    const char* muxer;
    std::vector<std::string> codec;  // the video codec and its options
    const char* crf_default;
    const char* sound_held;          // the sound codecs it holds as they are, between spaces
    const char* sound_encoder;       // what it encodes other sound to
    const char* subtitles_held;      // the subtitle codecs it holds as they are
    const char* subtitle_encoder;    // what it converts other text subtitles to
    bool fields;                     // its codec can be told the order of fields
    bool alpha;                      // its codec holds alpha (VP9 in yuva420p)
};

const char* const mp4_sound = " aac mp3 ac3 eac3 alac ";
const char* const mov_sound = " aac mp3 ac3 eac3 alac pcm_s16le pcm_s16be pcm_s24le pcm_s24be pcm_s32le "
                              "pcm_s32be pcm_f32le pcm_f32be pcm_u8 ";
const char* const mkv_sound = " aac mp3 ac3 eac3 alac opus vorbis flac dts truehd pcm_s16le pcm_s16be "
                              "pcm_s24le pcm_s24be pcm_s32le pcm_s32be pcm_f32le pcm_u8 ";
const char* const mkv_subtitles = " subrip ass ssa webvtt dvd_subtitle hdmv_pgs_subtitle dvb_subtitle ";
// Subtitles of text, which any container's text subtitles can be made of.
const char* const text_subtitles = " subrip ass ssa mov_text webvtt text ";

const Container containers[] = {
    {".mp4", "mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18", mp4_sound, "aac", " mov_text dvd_subtitle ",
     "mov_text", true, false},
    {".m4v", "mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18", mp4_sound, "aac", " mov_text dvd_subtitle ",
     "mov_text", true, false},
    {".mov", "mov", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18", mov_sound, "aac", " mov_text ", "mov_text",
     true, false},
    {".mkv", "matroska", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "18", mkv_sound, "aac", mkv_subtitles, "srt",
     true, false},
    {".webm", "webm", {"-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p", "-b:v", "0"}, "32", " opus vorbis ",
     "libopus", " webvtt ", "webvtt", false, true},
};

bool listed(const char* list, const std::string& codec) {
    return std::string(list).find(" " + codec + " ") != std::string::npos;
}

bool holds_sound(const Container& c, const std::string& codec) { return codec.empty() || listed(c.sound_held, codec); }

bool encodes_sound(const Container& c, const EncodeOptions& options, const std::string& codec) {
    return options.sound == SoundMode::encode ||
           (options.sound == SoundMode::automatic && !holds_sound(c, codec));
}

// What becomes of a subtitle stream: "copy", the encoder that converts it,
// or "" when the container cannot hold it.
std::string subtitle_codec(const Container& c, const std::string& codec) {
    if (listed(c.subtitles_held, codec)) return "copy";
    return listed(text_subtitles, codec) ? c.subtitle_encoder : "";
}

// An encoder's name as the user knows the codec: "opus" for libopus.
std::string codec_name(std::string encoder) {
    if (encoder.compare(0, 3, "lib") == 0) encoder.erase(0, 3);
    return encoder == "srt" ? "subrip" : encoder;
}

// How words and luma and chroma are turned into each other: rounded to the
// nearest, each pixel given its own copy of its chroma and the copies taken
// back as they were, so that a pass that changes nothing loses no more than
// the codec does (the default flags lose a level or more of colour a pass).
const char* const scaler_flags = "neighbor+accurate_rnd+full_chroma_int";

// The matrix swscale turns words into the file's pixels with, by the
// file's colour space; "" for the default one.
std::string scale_matrix(const std::string& colour_space) {
    if (colour_space == "bt709" || colour_space == "fcc" || colour_space == "smpte240m") return colour_space;
    if (colour_space == "smpte170m" || colour_space == "bt470bg") return "bt601";
    if (colour_space == "bt2020nc" || colour_space == "bt2020c") return "bt2020";
    return "";
}

std::string seconds(double s) {
    char text[40];
    std::snprintf(text, sizeof text, "%.6f", s);
    return text;
}

// The tags of RGB words made into luma and chroma: the matrix players
// assume for the size (BT.709 from 720 lines up, BT.601 below), in the
// limited range, with the primaries and transfer of sRGB's (BT.709's).
ColourTags rgb_colour(uint32_t height) {
    return {height >= 720 ? "bt709" : "smpte170m", "tv", "bt709", "bt709", {}, {}};
}

// The filters that make the words the codec's pixels: the picture's shape
// and fields, then the input's matrix and range; and the tags written on
// the file, so that players show the colours it showed.
void add_picture(const EncodeOptions& options, uint32_t height, const Container& c, std::vector<std::string>& argv) {
    ColourTags colour = options.colour;
    if (options.lossless) colour = {};  // FFV1 keeps the words as they are
    else if (colour.matrix.empty() && !options.untagged_yuv) colour = rgb_colour(height);
    const std::string matrix = scale_matrix(colour.matrix);
    std::string scale;
    if (!matrix.empty()) scale = "out_color_matrix=" + matrix;
    if (colour.range == "tv" || colour.range == "pc") scale += (scale.empty() ? "" : ":") + ("out_range=" + colour.range);
    std::string filters;
    // A picture that starts after the sound still does, to the tick: in the
    // frames' own time base (an -itsoffset) it would move to the nearest frame.
    if (options.start > 0) filters = "settb=1/90000,setpts=PTS+" + seconds(options.start) + "/TB,";
    if (!options.aspect.empty()) filters += "setsar=" + options.aspect.substr(0, options.aspect.find(':')) + "/" +
                                           options.aspect.substr(options.aspect.find(':') + 1) + ",";
    const bool fields = c.fields && !options.field_order.empty();
    // Each field's chroma is its own: the scaler takes the lines of a field together.
    if (fields) filters += std::string("setfield=") + (options.field_order == "tt" ? "tff" : "bff") + ",";
    if (fields) scale += scale.empty() ? "interl=1" : ":interl=1";
    if (!scale.empty()) filters += "scale=" + scale + ",";
    if (!filters.empty()) argv.insert(argv.end(), {"-vf", filters.substr(0, filters.size() - 1)});
    if (options.start > 0) argv.insert(argv.end(), {"-enc_time_base", "1/90000"});
    if (fields) argv.insert(argv.end(), {"-top", options.field_order == "tt" ? "1" : "0"});
    if (fields && !options.lossless) argv.insert(argv.end(), {"-flags", "+ildct+ilme"});
    if (!matrix.empty()) argv.insert(argv.end(), {"-colorspace", colour.matrix});
    if (!scale.empty() && !colour.range.empty()) argv.insert(argv.end(), {"-color_range", colour.range});
    if (!colour.primaries.empty()) argv.insert(argv.end(), {"-color_primaries", colour.primaries});
    if (!colour.transfer.empty()) argv.insert(argv.end(), {"-color_trc", colour.transfer});
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

// What a pixel format says of the pixels: RGB or not, alpha, bits.
void read_pixel_format(const std::string& name, VideoInfo& info) {
    const char* const rgb[] = {"rgb", "bgr", "gbr", "argb", "abgr", "0rgb", "0bgr", "x2rgb", "x2bgr", "pal8"};
    for (const char* prefix : rgb) info.rgb = info.rgb || name.compare(0, std::strlen(prefix), prefix) == 0;
    const char* const alpha[] = {"yuva", "rgba", "bgra", "argb", "abgr", "gbrap", "ya8", "ya16", "pal8"};
    for (const char* prefix : alpha) info.alpha = info.alpha || name.compare(0, std::strlen(prefix), prefix) == 0;
    // Formats of more than 8 bits end with their endianness: yuv420p10le, p010le, rgb48be.
    const size_t n = name.size();
    if (n < 3 || (name.compare(n - 2, 2, "le") != 0 && name.compare(n - 2, 2, "be") != 0)) return;
    size_t digits = n - 2;
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    const long bits = std::strtol(name.substr(digits, n - 2 - digits).c_str(), nullptr, 10);
    if (bits == 48 || bits == 64) info.bits = 16;
    else if (bits > 8 && bits <= 16) info.bits = static_cast<int>(bits);
}

// A sample aspect ratio as "N:D", "" when square or unknown; turned with the picture.
std::string aspect_of(const std::string& ratio, bool turned) {
    const size_t colon = ratio.find(':');
    if (colon == std::string::npos) return "";
    const std::string num = ratio.substr(0, colon), den = ratio.substr(colon + 1);
    if (num == den || num == "0" || den == "0" || num.empty() || den.empty()) return "";
    return turned ? den + ":" + num : num + ":" + den;
}

// The rate of the closest two pictures of the first video stream, as a
// usual rate when one is within 2%, else in thousandths.
bool rate_from_timestamps(const VideoTools& tools, const std::string& path, std::string& rate) {
    Child child;
    std::string out, error;
    int status = 0;
    const bool ran = run_capture({tools.ffprobe, "-v", "error", "-select_streams", "v:0", "-show_entries",
                                  "packet=pts_time", "-of", "csv=p=0", file_argument(path)},
                                 out, status, child, error);
    close_log(child);
    if (!ran || status != 0) return false;
    std::vector<double> times;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line != "N/A") times.push_back(std::strtod(line.c_str(), nullptr));
    }
    std::sort(times.begin(), times.end());
    double gap = 1e300;
    for (size_t k = 1; k < times.size(); ++k) {
        if (times[k] > times[k - 1]) gap = std::min(gap, times[k] - times[k - 1]);
    }
    if (!(gap < 1e300) || gap < 1e-4) return false;
    const char* const usual[] = {"24000/1001", "24", "25", "30000/1001", "30", "48", "50", "60000/1001", "60",
                                 "100", "120000/1001", "120"};
    double nearest = 1e300;
    for (const char* candidate : usual) {
        uint64_t num = 0, den = 0;
        parse_rate(candidate, num, den);
        const double off = std::abs(static_cast<double>(num) / static_cast<double>(den) * gap - 1);
        if (off < 0.02 && off < nearest) {
            nearest = off;
            rate = candidate;
        }
    }
    if (nearest > 1) rate = std::to_string(static_cast<uint64_t>(std::llround(1000 / gap))) + "/1000";
    return true;
}

// Adds the inputs of the sound and of the file the frames are like, each
// cut where `frames` frames end when not 0; returns the like file's input
// ("" for none). Input 0 is the picture.
std::string add_track_inputs(const EncodeOptions& options, uint64_t frames, std::vector<std::string>& argv) {
    const bool sound = !options.sound_from.empty() && options.sound != SoundMode::none;
    const bool like = !options.like.empty();
    std::vector<std::string> inputs;
    if (sound) inputs.push_back(options.sound_from);
    if (like && (!sound || options.like != options.sound_from)) inputs.push_back(options.like);
    for (const std::string& input : inputs) {
        if (frames > 0) {
            uint64_t num = 1, den = 1;
            parse_rate(options.rate, num, den);
            argv.insert(argv.end(), {"-t", seconds(options.start + static_cast<double>(frames) * den / num)});
        }
        argv.insert(argv.end(), {"-i", file_argument(input)});
    }
    return like ? std::to_string(inputs.size()) : "";
}

// Maps the sound of input 1, each track copied when the container holds
// its codec and encoded otherwise, and the subtitles and tags of the file
// the frames are like.
void add_track_maps(const Container& c, const EncodeOptions& options, const std::string& like_input,
                    std::vector<std::string>& argv) {
    const bool sound = !options.sound_from.empty() && options.sound != SoundMode::none;
    if (sound && options.sound_codecs.empty()) {
        argv.insert(argv.end(), {"-map", "1:a?", "-c:a", encodes_sound(c, options, "") ? c.sound_encoder : "copy"});
    }
    for (size_t k = 0; sound && k < options.sound_codecs.size(); ++k) {
        const bool encode = encodes_sound(c, options, options.sound_codecs[k]);
        argv.insert(argv.end(), {"-map", "1:a:" + std::to_string(k), "-c:a:" + std::to_string(k),
                                 encode ? c.sound_encoder : "copy"});
    }
    size_t subtitles = 0;
    for (size_t k = 0; !like_input.empty() && k < options.subtitle_codecs.size(); ++k) {
        const std::string to = subtitle_codec(c, options.subtitle_codecs[k]);
        if (to.empty()) continue;
        argv.insert(argv.end(), {"-map", like_input + ":s:" + std::to_string(k), "-c:s:" + std::to_string(subtitles++), to});
    }
    if (!like_input.empty()) {
        // The file's tags (title, dates, timecode) and the picture track's
        // (language, timecode); the encoder's name is the new one.
        argv.insert(argv.end(), {"-map_metadata", like_input, "-map_metadata:s:v:0", like_input + ":s:v:0",
                                 "-metadata:s:v:0", "encoder="});
    }
    argv.insert(argv.end(), {"-disposition:v:0", options.video_default ? "default" : "0"});
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

// Reads the mastering display and light levels of HDR video from its
// first frame (in-band or from the container); left empty when it has none.
void probe_hdr_metadata(const VideoTools& tools, const std::string& path, ColourTags& colour) {
    Child child;
    std::string out, error;
    int status = 0;
    const bool ran = run_capture({tools.ffprobe, "-v", "error", "-select_streams", "v:0", "-read_intervals", "%+#1",
                                  "-show_frames", "-show_entries",
                                  "frame_side_data=side_data_type,red_x,red_y,green_x,green_y,blue_x,blue_y,"
                                  "white_point_x,white_point_y,min_luminance,max_luminance,max_content,max_average",
                                  "-of", "default=nk=0:nw=1", file_argument(path)},
                                 out, status, child, error);
    close_log(child);
    if (!ran || status != 0) return;
    std::map<std::string, std::string> f;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) f.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    // "34000/50000" in the unit `per`, as a whole number; -1 when malformed.
    const auto in_units = [&](const char* key, double per) -> long long {
        const std::string v = field(f, key);
        if (v.empty()) return -1;
        char* end = nullptr;
        const double num = std::strtod(v.c_str(), &end), den = *end == '/' ? std::strtod(end + 1, nullptr) : 1;
        const double x = num / den * per;
        return den > 0 && x >= 0 && x < 1e15 ? std::llround(x) : -1;
    };
    const auto pair = [&](const char* x, const char* y) {
        return "(" + std::to_string(in_units(x, 50000)) + "," + std::to_string(in_units(y, 50000)) + ")";
    };
    const char* const keys[] = {"red_x", "red_y", "green_x", "green_y", "blue_x", "blue_y", "white_point_x",
                                "white_point_y"};
    bool display = in_units("max_luminance", 10000) > 0 && in_units("min_luminance", 10000) >= 0;
    for (const char* key : keys) display = display && in_units(key, 50000) >= 0;
    if (display) {
        colour.mastering_display = "G" + pair("green_x", "green_y") + "B" + pair("blue_x", "blue_y") + "R" +
                                   pair("red_x", "red_y") + "WP" + pair("white_point_x", "white_point_y") + "L(" +
                                   std::to_string(in_units("max_luminance", 10000)) + "," +
                                   std::to_string(in_units("min_luminance", 10000)) + ")";
    }
    if (in_units("max_content", 1) >= 0 && in_units("max_average", 1) >= 0) {
        colour.light_level = std::to_string(in_units("max_content", 1)) + "," + std::to_string(in_units("max_average", 1));
    }
}

bool probe_video(const VideoTools& tools, const std::string& path, VideoInfo& info, std::string& error) {
    Child child;
    std::string out;
    int status = 0;
    const bool ran = run_capture({tools.ffprobe, "-v", "error", "-count_packets", "-show_entries",
                                  "stream=codec_type,codec_name,width,height,r_frame_rate,avg_frame_rate,duration,nb_read_packets,"
                                  "start_time,color_space,color_range,color_primaries,color_transfer,pix_fmt,"
                                  "sample_aspect_ratio,field_order:stream_side_data=rotation:stream_tags=alpha_mode,DURATION:"
                                  "stream_disposition=default:format=duration",
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
    // One key=value a line, each stream between [STREAM] and [/STREAM], the
    // file's length between [FORMAT] and [/FORMAT].
    std::vector<std::map<std::string, std::string>> streams;
    std::map<std::string, std::string> format;
    std::map<std::string, std::string>* section = nullptr;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (line == "[STREAM]") section = &streams.emplace_back();
        if (line == "[FORMAT]") section = &format;
        if (eq == std::string::npos || section == nullptr) continue;
        (*section)[line.substr(0, eq)] = line.substr(eq + 1);
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
        if (type->second == "audio") info.sound_codecs.push_back(field(stream, "codec_name"));
        if (type->second == "subtitle") info.subtitle_codecs.push_back(field(stream, "codec_name"));
    }
    info.has_sound = !info.sound_codecs.empty();

    if (video == nullptr) {
        error = "cannot read '" + path + "': it has no video stream";
        return false;
    }
    info.width = static_cast<uint32_t>(std::strtoul(field(*video, "width").c_str(), nullptr, 10));
    info.height = static_cast<uint32_t>(std::strtoul(field(*video, "height").c_str(), nullptr, 10));
    info.rate = field(*video, "r_frame_rate");
    info.packets = info.frames = std::strtoull(field(*video, "nb_read_packets").c_str(), nullptr, 10);
    info.colour = {field(*video, "color_space"), field(*video, "color_range"), field(*video, "color_primaries"),
                   field(*video, "color_transfer"), {}, {}};
    read_pixel_format(field(*video, "pix_fmt"), info);
    if (info.rgb) info.colour = {};  // they describe RGB, not how words become luma and chroma
    if (info.colour.transfer == "smpte2084" || info.colour.transfer == "arib-std-b67") {
        probe_hdr_metadata(tools, path, info.colour);
    }
    info.codec = field(*video, "codec_name");
    info.vpx_alpha = field(*video, "TAG:alpha_mode") == "1" && (info.codec == "vp9" || info.codec == "vp8");
    info.alpha = info.alpha || info.vpx_alpha;
    const std::string order = field(*video, "field_order");
    // ffmpeg marks fields coded in the order shown "tb" or "bt" in some containers.
    if (order == "tt" || order == "tb") info.field_order = "tt";
    if (order == "bb" || order == "bt") info.field_order = "bb";
    info.video_default = field(*video, "DISPOSITION:default") != "0";
    const std::string start = field(*video, "start_time");
    if (!start.empty() && first_start < 1e300) info.start = std::strtod(start.c_str(), nullptr) - first_start;
    const long rotation = std::strtol(field(*video, "rotation").c_str(), nullptr, 10);
    // The decoder turns pictures the file says to show turned, and their pixels with them.
    info.aspect = aspect_of(field(*video, "sample_aspect_ratio"), rotation % 180 != 0);
    if (rotation % 180 != 0) std::swap(info.width, info.height);
    uint64_t num = 0, den = 0;
    const bool rate_given = parse_rate(info.rate, num, den);
    if (!rate_given) info.rate = "25";
    // Matroska gives the track's length as a tag "H:MM:SS.nnnnnnnnn", if at all.
    std::string duration = field(*video, "duration");
    unsigned hours = 0, minutes = 0;
    double tagged = 0;
    if (duration.empty() && std::sscanf(field(*video, "TAG:DURATION").c_str(), "%u:%u:%lf", &hours, &minutes,
                                        &tagged) == 3) {
        duration = std::to_string(hours * 3600.0 + minutes * 60.0 + tagged);
    }
    const bool own_length = !duration.empty();  // not the whole file's, which may be the sound's
    if (duration.empty()) duration = field(format, "duration");
    const double seconds_long = std::strtod(duration.c_str(), nullptr);
    // A rate guessed from the first pictures of a variable rate may be lower
    // than a later one: then the closest gap between pictures sets it.
    std::string faster;
    uint64_t faster_num = 0, faster_den = 0;
    if (rate_given && seconds_long > 0 && seconds_long * num / den + 0.5 < static_cast<double>(info.packets) &&
        rate_from_timestamps(tools, path, faster) && parse_rate(faster, faster_num, faster_den) &&
        faster_num * den > num * faster_den) {
        info.rate = faster;
        num = faster_num;
        den = faster_den;
    }
    // A variable rate is decoded at the constant one: as many frames as its
    // length takes. Matroska's average rate is the same guess, so there the
    // track's length against its pictures tells.
    const double length = rate_given ? seconds_long * num / den : 0;
    const bool variable = field(*video, "avg_frame_rate") != info.rate ||
                          (own_length && std::abs(length - static_cast<double>(info.packets)) >= 1);
    if (variable && length > 0 && length < 1e12) {
        info.frames = static_cast<uint64_t>(length + 0.5);
        // A stream without a length of its own (Matroska) gives each packet
        // the duration of its first pictures, and the last one is held that
        // long: the file's length is the better end.
        info.ends_at_frames = field(*video, "duration").empty();
    }
    if (info.width == 0 || info.height == 0 || uint64_t{info.width} * info.height > max_pixels) {
        error = "cannot read '" + path + "': frames of " + std::to_string(info.width) + " x " +
                std::to_string(info.height) + " pixels";
        return false;
    }
    return true;
}

std::string depth_note(const std::string& path, const VideoInfo& info) {
    const std::string& transfer = info.colour.transfer;
    const std::string hdr = transfer == "smpte2084" ? "PQ" : transfer == "arib-std-b67" ? "HLG" : "";
    std::string note;
    if (info.bits > 8) {
        note = "'" + path + "' has " + std::to_string(info.bits) + "-bit samples: the filters work on 8-bit words, " +
               "so the output has 8 bits of each (--encoder-options \"-pix_fmt yuv420p10le\" stores them in 10)";
    }
    if (!hdr.empty()) {
        note += (note.empty() ? "'" + path + "' is" : "; it is") + (" HDR (" + hdr + "): the filters see its " + hdr +
                "-coded levels, not SDR ones, and the output keeps its transfer");
    }
    return note;
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
    for (const std::string& codec : options.sound_codecs) {
        if (options.sound_from.empty() || options.sound != SoundMode::copy || holds_sound(*c, codec)) continue;
        error = "cannot write '" + path + "': " + c->extension + " cannot hold " + codec +
                " sound as it is; encode it (--sound encode) or leave it out (--sound none)";
        return false;
    }
    return true;
}

void encode_like(const std::string& path, const VideoInfo& info, EncodeOptions& options) {
    options.rate = info.rate;
    options.colour = info.colour;
    options.untagged_yuv = info.colour.matrix.empty() && !info.rgb;
    options.start = info.start;
    if (info.has_sound) options.sound_from = path;
    options.sound_codecs = info.sound_codecs;
    options.like = path;
    options.subtitle_codecs = info.subtitle_codecs;
    options.aspect = info.aspect;
    options.field_order = info.field_order;
    options.alpha = info.alpha;
    options.video_default = info.video_default;
}

bool check_frame_size(const std::string& path, const EncodeOptions& options, uint32_t width,
                      uint32_t height, std::string& error) {
    if (options.lossless || (width % 2 == 0 && height % 2 == 0)) return true;
    error = "cannot write '" + path + "': its frames are " + std::to_string(width) + " x " +
            std::to_string(height) + " pixels, and its codec (4:2:0) needs even sizes; " +
            "a lossless .mkv (--lossless) keeps every size";
    return false;
}

namespace {

// The video encoder a writer runs: the container's, or the last one that
// --encoder-options names.
std::string video_encoder(const Container& c, const EncodeOptions& options) {
    if (options.lossless) return "ffv1";
    std::vector<std::string> words = c.codec;
    words.insert(words.end(), options.extra.begin(), options.extra.end());
    std::string encoder;
    for (size_t k = 0; k + 1 < words.size(); ++k) {
        if (words[k] == "-c:v" || words[k] == "-vcodec" || words[k] == "-codec:v") encoder = words[k + 1];
    }
    return encoder;
}

// --encoder-options with the HDR side data given to H.265's encoder, ahead
// of any -x265-params of the user's, whose settings then win.
std::vector<std::string> with_hdr_metadata(const Container& c, const EncodeOptions& options) {
    const ColourTags& colour = options.colour;
    std::string params;
    if (!colour.mastering_display.empty()) params = "master-display=" + colour.mastering_display;
    if (!colour.light_level.empty()) params += (params.empty() ? "" : ":") + ("max-cll=" + colour.light_level);
    std::vector<std::string> extra = options.extra;
    if (params.empty() || video_encoder(c, options) != "libx265") return extra;
    const auto given = std::find(extra.begin(), extra.end(), "-x265-params");
    if (given != extra.end() && given + 1 != extra.end()) {
        given[1] = params + ":" + given[1];
    } else {
        extra.insert(extra.begin(), {"-x265-params", params});
    }
    return extra;
}

}  // namespace

std::vector<std::string> encode_notes(const std::string& path, const EncodeOptions& options) {
    std::vector<std::string> notes;
    const Container* c = container_of(path);
    if (c == nullptr) return notes;
    // Codecs of the tracks that are encoded, then of those left out, each once.
    std::string encoded, left_out, converted;
    const auto add = [](std::string& list, const std::string& codec) {
        if ((" " + list + ",").find(" " + codec + ",") == std::string::npos) list += (list.empty() ? "" : ", ") + codec;
    };
    const bool sound = !options.sound_from.empty() && options.sound == SoundMode::automatic;
    for (const std::string& codec : options.sound_codecs) {
        if (sound && encodes_sound(*c, options, codec)) add(encoded, codec);
    }
    if (!encoded.empty()) {
        notes.push_back("the sound is encoded as " + codec_name(c->sound_encoder) + ": " + c->extension +
                        " cannot hold " + encoded + " sound as it is");
    }
    for (const std::string& codec : options.like.empty() ? std::vector<std::string>{} : options.subtitle_codecs) {
        const std::string to = subtitle_codec(*c, codec);
        if (to.empty()) add(left_out, codec);
        if (to != "copy" && !to.empty()) add(converted, codec);
    }
    if (!converted.empty()) {
        notes.push_back("the subtitles are converted to " + codec_name(c->subtitle_encoder) + ": " + c->extension +
                        " cannot hold " + converted + " subtitles as they are");
    }
    if (!left_out.empty()) {
        notes.push_back("the subtitles are left out: " + std::string(c->extension) + " cannot hold " + left_out +
                        " subtitles");
    }
    if (!options.field_order.empty() && !c->fields && !options.lossless) {
        notes.push_back("the frames are marked progressive: " + std::string(c->extension) +
                        " cannot mark interlaced fields (.mp4, .mov and .mkv can)");
    }
    if (options.alpha && !c->alpha && !options.lossless) {
        notes.push_back("the alpha is left out: H.264 holds none (.webm and a lossless .mkv keep it)");
    }
    const bool hdr_data = !options.colour.mastering_display.empty() || !options.colour.light_level.empty();
    if (hdr_data && video_encoder(*c, options) != "libx265") {
        notes.push_back("the HDR mastering-display and light-level metadata are left out: only H.265 keeps them "
                        "(--encoder-options \"-c:v libx265 -pix_fmt yuv420p10le\")");
    }
    return notes;
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
    // ffmpeg's own VP8 and VP9 decoders leave out the alpha that libvpx's read.
    if (info.vpx_alpha) argv.insert(argv.end(), {"-c:v", info.codec == "vp8" ? "libvpx" : "libvpx-vp9"});
    argv.insert(argv.end(), {"-i", file_argument(path), "-map", "0:v:0", "-fps_mode", "passthrough",
                                     // A picture shown longer is repeated, so that a variable
                                     // rate becomes the constant one with every frame in time.
                                     "-vf", "fps=" + info.rate});
    if (info.ends_at_frames && info.frames > first && (max_frames == 0 || max_frames > info.frames - first)) {
        max_frames = info.frames - first;
    }
    if (max_frames > 0) argv.insert(argv.end(), {"-frames:v", std::to_string(max_frames)});
    argv.insert(argv.end(), {"-sws_flags", scaler_flags, "-f", "rawvideo", "-pix_fmt", "bgra", "pipe:1"});
    int fds[2];
    if (!make_pipe(fds, error, frame_bytes_)) return false;
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
    argv.insert(argv.end(), {"-f", "rawvideo", "-pix_fmt", "bgra",
                             "-s", std::to_string(width) + "x" + std::to_string(height),
                             "-framerate", options.rate, "-i", "pipe:0"});
    // The sound goes in now when the frames it is cut to are known, or else
    // beside the finished picture at close.
    const std::string like_input = sound_at_close_ ? "" : add_track_inputs(options, options.frames, argv);
    // Every frame as given, at its time: none repeated to fill a late start.
    argv.insert(argv.end(), {"-map", "0:v:0", "-fps_mode", "passthrough"});
    if (!sound_at_close_) add_track_maps(c, options, like_input, argv);
    if (options.lossless) {
        argv.insert(argv.end(), {"-c:v", "ffv1", "-pix_fmt", "bgra"});
    } else {
        argv.insert(argv.end(), c.codec.begin(), c.codec.end());
        if (options.alpha && c.alpha) argv.insert(argv.end(), {"-pix_fmt", "yuva420p"});
        argv.insert(argv.end(), {"-crf", options.crf >= 0 ? std::to_string(options.crf) : c.crf_default});
    }
    add_picture(options, height, c, argv);
    argv.insert(argv.end(), {"-sws_flags", scaler_flags});
    const std::vector<std::string> extra = with_hdr_metadata(c, options);
    argv.insert(argv.end(), extra.begin(), extra.end());
    // -xerror: a failed write of the file (a full disk) ends the encoder
    // with a failure instead of status 0.
    argv.insert(argv.end(), {"-xerror", "-f", c.muxer,
                             file_argument(out_.direct ? out_.final_path
                                           : sound_at_close_ ? picture_.temp_path : out_.temp_path)});
    int fds[2];
    if (!make_pipe(fds, error, frame_bytes_)) {
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

bool VideoWriter::close(std::string& error, const std::function<void(const char*)>& stage) {
    const auto say = [&](const char* what) { if (stage) stage(what); };
    say("finishing the file");
    if (pipe_ >= 0) ::close(pipe_);
    pipe_ = -1;
    const int status = wait_child(child_);
    if (status != 0 || interrupted()) {
        error = interrupted() ? "interrupted" : "cannot encode '" + path_ + "': " + named_as_output(ending(status, child_));
        abort();
        return false;
    }
    say("checking the file");
    if (!check_written(sound_at_close_ ? picture_.temp_path : out_.temp_path, error)) {
        abort();
        return false;
    }
    close_log(child_);
    if (sound_at_close_) say("adding the sound");
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
    std::vector<std::string> argv = {tools_.ffmpeg, "-nostdin", "-hide_banner", "-v", "error", "-y",
                                     "-i", file_argument(picture_.temp_path)};
    const std::string like_input = add_track_inputs(options_, frames_, argv);
    argv.insert(argv.end(), {"-map", "0:v", "-c:v", "copy"});
    add_track_maps(c, options_, like_input, argv);
    argv.insert(argv.end(), {"-copyts", "-xerror", "-f", c.muxer, file_argument(out_.temp_path)});
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
