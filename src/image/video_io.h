// Video files through the ffmpeg and ffprobe programs, run as child
// processes: ffprobe tells the size, frame rate, frame count and sound of a
// file, one ffmpeg decodes it to raw pixel words on a pipe, another encodes
// pixel words from a pipe into a new file. The new file is written under a
// temporary name beside its destination and renamed over it only when the
// encoder has finished well, as pictures are.
//
// Children never outlive the objects that started them: a reader or writer
// that is destroyed, or stopped, kills its child and waits for it. Nothing
// here prints, exits or throws; failures come back as one-line messages.
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/atomic_file.h"
#include "image/child_process.h"

namespace rururev::image {

struct VideoTools {
    std::string ffmpeg, ffprobe;  // full paths
};

// Finds both programs on PATH; false with a message naming the package.
bool find_video_tools(VideoTools& tools, std::string& error);

// How a file's pixel values are to be read, in ffmpeg's names ("bt709",
// "tv"); "" where the file does not say.
struct ColourTags {
    std::string matrix, range, primaries, transfer;
    // HDR's side data, as H.265's encoder takes them: the mastering display
    // "G(x,y)B(x,y)R(x,y)WP(x,y)L(max,min)" (chromaticities in 1/50000,
    // luminance in 1/10000 cd/m2) and the light levels "MaxCLL,MaxFALL".
    std::string mastering_display, light_level;
};

struct VideoInfo {
    uint32_t width = 0, height = 0;  // as decoded (turned when the file says so)
    std::string codec;               // of the picture
    std::string rate = "25";         // frames per second, exact: "30000/1001"
    uint64_t frames = 0;             // frames decoded at `rate`; 0 when unknown
    bool ends_at_frames = false;     // decoding stops after `frames` (see VideoReader::open)
    uint64_t packets = 0;            // pictures stored in the file
    double start = 0;                // seconds from the file's start to its first picture
    ColourTags colour;
    bool rgb = false;                // its pixels are RGB (PNG in .mov, FFV1 bgra), not luma and chroma
    bool alpha = false;              // it has an alpha channel
    bool vpx_alpha = false;          // VP9 or VP8 whose alpha only libvpx decodes
    int bits = 8;                    // bits of its samples
    std::string aspect;              // sample aspect ratio "N:D" as decoded; "" when square
    std::string field_order;         // "tt" or "bb" when interlaced, top or bottom field first
    bool video_default = true;       // its picture track is marked as the one to play
    bool has_sound = false;
    std::vector<std::string> sound_codecs;     // of each sound stream
    std::vector<std::string> subtitle_codecs;  // of each subtitle stream
};

bool probe_video(const VideoTools& tools, const std::string& path, VideoInfo& info, std::string& error);

// The line that tells the user what the filters see of a file of more than
// 8 bits or of HDR levels; "" for 8-bit SDR.
std::string depth_note(const std::string& path, const VideoInfo& info);

// Whether a name is one the writer can make: .mp4, .m4v, .mov, .mkv, .webm.
bool is_video_name(const std::string& path);

// What becomes of the input's sound: copied when the container holds its
// codec and encoded to the container's usual one otherwise (automatic),
// always copied (refused when it cannot be), always encoded, or left out.
enum class SoundMode { automatic, copy, encode, none };

struct EncodeOptions {
    std::string rate = "25";          // frames per second, "N" or "N/D"
    int crf = -1;                     // quality of the codec; -1 for its default here
    bool lossless = false;            // .mkv only: FFV1, every word kept, alpha too
    std::vector<std::string> extra;   // more encoder options, passed through
    ColourTags colour;                // how the words become the codec's pixels, written on the file
    double start = 0;                 // seconds of sound before the first picture
    std::string sound_from;           // a file whose sound streams are kept
    std::vector<std::string> sound_codecs;  // the codec of each, none when unknown (then copied)
    SoundMode sound = SoundMode::automatic;
    uint64_t frames = 0;              // when not 0, the sound ends with this many frames
    // The words came from untagged luma and chroma: they go back the same
    // way, untagged. Otherwise words with no matrix are RGB, and written with
    // the matrix players assume for their size, tagged.
    bool untagged_yuv = false;
    std::string like;                 // a file whose subtitles and metadata (timecode too) are kept
    std::vector<std::string> subtitle_codecs;  // of each of its subtitle streams
    std::string aspect, field_order;  // as in VideoInfo
    bool alpha = false;               // the frames' alpha is kept where the codec holds alpha
    bool video_default = true;
    // The sound is put beside the picture at close, cut where the last frame
    // ends: for a writer that does not know how many frames it gets.
    bool sound_at_close = false;
};

// The options that make a video like the file `path`, probed as `info`: its
// rate, colours, start, shape, fields, sound, subtitles and metadata.
void encode_like(const std::string& path, const VideoInfo& info, EncodeOptions& options);

// Checks a destination name and options before any work: false with the
// reason when the writer could not make that file.
bool check_encode_options(const std::string& path, const EncodeOptions& options, std::string& error);

// Checks the size of the frames against the destination's codec, before any
// work: H.264 and VP9 in 4:2:0 need even sizes.
bool check_frame_size(const std::string& path, const EncodeOptions& options, uint32_t width,
                      uint32_t height, std::string& error);

// The lines that tell the user what the file cannot keep as it is: sound
// encoded, not copied, subtitles converted or left out, and why.
std::vector<std::string> encode_notes(const std::string& path, const EncodeOptions& options);

class VideoReader {
public:
    VideoReader() = default;
    ~VideoReader() { stop(); }
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    // Starts decoding at frame `first` (ffmpeg seeks to the key frame before
    // it and decodes from there); at most `max_frames` frames when not 0.
    bool open(const VideoTools& tools, const std::string& path, const VideoInfo& info,
              uint64_t max_frames, std::string& error, uint64_t first = 0);
    // Fills width x height words: 1 a frame, 0 the end, -1 a failure.
    int read(uint32_t* words, std::string& error);
    // Kills the decoder, if it still runs, and waits for it.
    void stop();

private:
    std::string path_;
    size_t frame_bytes_ = 0;
    int pipe_ = -1;
    Child child_;
};

class VideoWriter {
public:
    VideoWriter() = default;
    ~VideoWriter() { abort(); }
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    bool open(const VideoTools& tools, const std::string& path, uint32_t width, uint32_t height,
              const EncodeOptions& options, std::string& error);
    bool is_open() const { return child_.pid > 0; }
    bool write(const uint32_t* words, std::string& error);
    // Lets the encoder finish, then puts the file in place; stage, when
    // given, is told what close is waiting for as it goes.
    bool close(std::string& error, const std::function<void(const char*)>& stage = {});
    // Kills the encoder and removes the temporary file.
    void abort();

private:
    bool fail_from_encoder(const std::string& what, std::string& error);
    bool check_written(const char* file, std::string& error);
    bool add_sound(std::string& error);
    std::string named_as_output(std::string text) const;

    std::string path_;
    VideoTools tools_;
    EncodeOptions options_;
    bool sound_at_close_ = false;
    AtomicFile picture_;     // the picture alone, when the sound comes at close
    uint64_t frames_ = 0;    // frames given to the encoder
    AtomicFile out_;         // the temporary file the encoder writes
    size_t frame_bytes_ = 0;
    int pipe_ = -1;
    Child child_;
};

}  // namespace rururev::image
