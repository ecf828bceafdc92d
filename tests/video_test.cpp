// Video files through apply: what the output keeps of the input, the words
// of a lossless output, and every way a run can fail, each leaving no file.
// The clips are made by ffmpeg's own test sources; without ffmpeg the tests
// are skipped. Last, waiting for the child processes ffmpeg runs in.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include <sys/wait.h>

#include "image/child_process.h"
#include "lua_fixture.h"
#include "scratch.h"

namespace {

const std::string quiet = "ffmpeg -nostdin -v error -y ";

bool have_ffmpeg() { return run_shell("command -v ffmpeg && command -v ffprobe").status == 0; }

#define NEED_FFMPEG() \
    if (!have_ffmpeg()) SKIP_UNLESS_CI("ffmpeg is not installed")

// A clip of 45 frames of 64 x 48 at 30000/1001 frames per second, with sound.
std::string make_clip(const ScratchDir& dir) {
    const std::string clip = dir / "clip.mp4";
    const Outcome o = run_shell(quiet + "-f lavfi -i testsrc=size=64x48:rate=30000/1001 -f lavfi "
                                        "-i sine=frequency=440 -t 1.5 -c:v libx264 -pix_fmt yuv420p "
                                        "-c:a aac -shortest " + shell_quote(clip));
    EXPECT_EQ(o.status, 0) << o.err;
    return clip;
}

std::vector<std::string> split_lines(const std::string& text);

// One line of ffprobe's compact output as its fields.
std::map<std::string, std::string> fields_of(const std::string& line) {
    std::map<std::string, std::string> fields;
    for (size_t at = 0; at < line.size();) {
        const size_t end = std::min(line.find('|', at), line.size()), eq = line.find('=', at);
        if (eq < end) fields[line.substr(at, eq - at)] = line.substr(eq + 1, end - eq - 1);
        at = end + 1;
    }
    return fields;
}

// "video h264 64x48 30000/1001 45 0.0-1.5, audio aac 0.0-1.5": each stream
// of a file, its codec, the picture's size, rate, frames and colour tags,
// and the seconds from the first packet's start to the last one's end.
std::string streams_of(const std::string& path) {
    const std::string probe = "ffprobe -v error -of compact=p=0 -show_entries ";
    const std::vector<std::string> streams =
        split_lines(run_shell(probe + "stream=codec_type,codec_name,width,height,r_frame_rate,color_space,"
                                      "color_range,color_primaries,color_transfer file:" + shell_quote(path)).out);
    std::vector<double> first(streams.size(), 1e9), last(streams.size(), -1e9);
    std::vector<int> packets(streams.size());
    for (const std::string& line : split_lines(run_shell(probe + "packet=stream_index,pts_time,duration_time file:" +
                                                         shell_quote(path)).out)) {
        auto f = fields_of(line);
        if (f.empty()) continue;
        const size_t k = std::stoul(f["stream_index"]);
        const double pts = std::stod(f["pts_time"]), duration = f["duration_time"] == "N/A" ? 0 : std::stod(f["duration_time"]);
        first.at(k) = std::min(first[k], pts);
        last[k] = std::max(last[k], pts + duration);
        ++packets[k];
    }
    std::string text;
    for (size_t k = 0; k < streams.size(); ++k) {
        auto f = fields_of(streams[k]);
        char times[40];
        std::snprintf(times, sizeof times, " %.1f-%.1f", std::round(first[k] * 10) / 10 + 0.0, last[k]);
        text += (text.empty() ? "" : ", ") + f["codec_type"] + " " + f["codec_name"];
        if (f["codec_type"] == "video") {
            text += " " + f["width"] + "x" + f["height"] + " " + f["r_frame_rate"] + " " + std::to_string(packets[k]);
            const std::string& space = f["color_space"];
            if (space != "unknown") text += " " + space + "/" + f["color_range"] + "/" + f["color_primaries"] + "/" + f["color_transfer"];
        }
        text += times;
    }
    return text;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}


// The words of every frame, converted as rururev converts them.
std::string decoded_bgra(const std::string& path) {
    return run_shell(quiet + "-i file:" + shell_quote(path) + " -fps_mode passthrough -sws_flags "
                     "neighbor+accurate_rnd+full_chroma_int -f rawvideo -pix_fmt bgra -").out;
}

double mean_difference(const std::string& a, const std::string& b) {  // of the bytes, over the shorter
    double sum = 0, n = static_cast<double>(std::min(a.size(), b.size()));
    for (size_t k = 0; k < n; ++k) sum += std::abs(static_cast<unsigned char>(a[k]) - static_cast<unsigned char>(b[k]));
    return n == 0 ? 1e9 : sum / n;
}

// Each row: a clip made in the folder ($Q runs ffmpeg quietly; "" for the
// clip of make_clip), the options, IN and OUT as named there, then what OUT
// holds, what apply says on stderr, and, for an identity chain, how far the
// decoded colours may be from IN's (0: not compared); last, a command run in
// the folder ($P runs ffprobe's compact output, $R rururev) and all it prints.
TEST(Video, TheOutputKeepsSizeRateFrameCountAndSound) {
    NEED_FFMPEG();
    ScratchDir dir;
    const std::string clip = make_clip(dir);
    ASSERT_EQ(streams_of(clip), "video h264 64x48 30000/1001 45 0.0-1.5, audio aac 0.0-1.5");
    const std::string small = "testsrc2=size=64x48:rate=30";
    const struct {
        std::string make;
        std::vector<std::string> options;
        const char *in, *out, *streams, *err;
        double colour_bound;
        std::string check = "", checked = "";
    } cases[] = {
        {"", {}, "clip.mp4", "out.mp4", "video h264 64x48 30000/1001 45 0.0-1.5, audio aac 0.0-1.5", "", 3},
        {"", {"--crf", "30"}, "clip.mp4", "out.mov", "video h264 64x48 30000/1001 45 0.0-1.5, audio aac 0.0-1.5", "", 0},
        {"", {"--lossless"}, "clip.mp4", "out.mkv", "video ffv1 64x48 30000/1001 45 0.0-1.5, audio aac 0.0-1.5", "", 0.01},
        {"", {"--frames", "10", "--encoder-options", "-preset ultrafast"}, "clip.mp4", "out.mp4",
         "video h264 64x48 30000/1001 10 0.0-0.3, audio aac 0.0-0.3", "", 0},
        // HD bars tagged BT.709: the tags stay and the colours with them.
        {"$Q -f lavfi -i smptebars=size=1280x720:rate=25 -t 0.4 -vf scale=out_color_matrix=bt709:out_range=tv "
         "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv -c:v libx264 bars.mp4",
         {}, "bars.mp4", "out.mp4", "video h264 1280x720 25/1 10 bt709/tv/bt709/bt709 0.0-0.4", "", 2},
        // 60 frames at 30 fps then 20 at 10: made constant, in time with the sound.
        {"$Q -f lavfi -i " + small + ":duration=2 -video_track_timescale 90000 a.mp4 && $Q -f lavfi -i "
         "testsrc2=size=64x48:rate=10:duration=2 -video_track_timescale 90000 b.mp4 && printf 'file a.mp4\\nfile "
         "b.mp4\\n' >l.txt && $Q -f concat -i l.txt -f lavfi -i sine=duration=4 -c:v copy -shortest vfr.mp4",
         {}, "vfr.mp4", "out.mp4", "video h264 64x48 30/1 120 0.0-4.0, audio aac 0.0-4.0", "", 0},
        // The same in Matroska, whose rate guessed from the first pictures is 10: none is lost.
        {"printf 'file b.mp4\\nfile a.mp4\\n' >l.txt && $Q -f concat -i l.txt -c:v copy vfr.mkv", {}, "vfr.mkv",
         "out.mp4", "video h264 64x48 30/1 120 0.0-4.0", "", 0},
        // A picture that starts a second after its sound still does.
        {"$Q -f lavfi -i " + small + ":duration=2 v.mkv && $Q -f lavfi -i sine=duration=3 a.m4a && "
         "$Q -itsoffset 1 -i v.mkv -i a.m4a -map 0:v -map 1:a -c copy late.mp4",
         {}, "late.mp4", "out.mp4", "video h264 64x48 30/1 60 1.0-3.0, audio aac 0.0-3.0", "", 0},
        // Half a frame late at 25 frames a second: late by the same to the tick.
        {"$Q -f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 v25.mkv && $Q -itsoffset 0.5 -i v25.mkv -i a.m4a "
         "-map 0:v -map 1:a -c copy half.mp4", {}, "half.mp4", "out.mp4", "video h264 64x48 25/1 10 0.5-0.9, audio aac 0.0-3.0",
         "", 0, "$P -show_entries stream=start_time out.mp4", "start_time=0.500000\nstart_time=0.000000\n"},
        // Late and anamorphic: both kept.
        {"$Q -f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -vf setsar=16/15 w25.mkv && $Q -itsoffset 0.5 -i "
         "w25.mkv -i a.m4a -map 0:v -map 1:a -c copy wide.mp4", {}, "wide.mp4", "out.mp4",
         "video h264 64x48 25/1 10 0.5-0.9, audio aac 0.0-3.0", "", 0,
         "$P -select_streams v -show_entries stream=start_time,sample_aspect_ratio out.mp4",
         "sample_aspect_ratio=16:15|start_time=0.500000\n"},
        // Sound shorter than the picture, and --frames cutting both.
        {"$Q -f lavfi -i " + small + ":duration=3 -f lavfi -i sine=duration=1 short.mp4",
         {}, "short.mp4", "out.mkv", "video h264 64x48 30/1 90 0.0-3.0, audio aac 0.0-1.0", "", 0},
        {"", {"--frames", "60"}, "short.mp4", "out.mp4", "video h264 64x48 30/1 60 0.0-2.0, audio aac 0.0-1.0", "", 0},
        // Sound the container cannot hold as it is.
        {"$Q -f lavfi -i " + small + ":duration=1 -f lavfi -i sine=duration=1 -c:a pcm_s16le pcm.mov",
         {}, "pcm.mov", "out.mp4", "video h264 64x48 30/1 30 0.0-1.0, audio aac 0.0-1.0",
         "rururev: the sound is encoded as aac: .mp4 cannot hold pcm_s16le sound as it is\n", 0},
        {"", {}, "clip.mp4", "out.webm", "video vp9 64x48 30000/1001 45 0.0-1.5, audio opus 0.0-1.5",
         "rururev: the sound is encoded as opus: .webm cannot hold aac sound as it is\n", 0},
        {"", {"--sound", "none"}, "pcm.mov", "out.mp4", "video h264 64x48 30/1 30 0.0-1.0", "", 0},
        // Full range stays full; --frames cuts the sound at the end of the last frame.
        {"$Q -f lavfi -i smptebars=size=64x48:rate=5 -f lavfi -i sine -t 2 -vf scale=out_color_matrix=bt709:out_range=pc "
         "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range pc -c:v libx264 full.mp4",
         {"--frames", "3"}, "full.mp4", "out.mp4", "video h264 64x48 5/1 3 bt709/pc/bt709/bt709 0.0-0.6, audio aac 0.0-0.6", "", 2},
        // An existing name wins over a pattern; OUT's folder is made.
        {"cp clip.mp4 'a%d.mp4'", {}, "a%d.mp4", "new/out.mp4", "video h264 64x48 30000/1001 45 0.0-1.5, audio aac 0.0-1.5", "", 0},
        // Pictures and RGB video into luma and chroma: BT.709 from 720 lines up, BT.601 below, tagged.
        {"$Q -f lavfi -i smptebars=size=1280x720 -frames:v 1 hd.png", {}, "hd.png", "out.mp4",
         "video h264 1280x720 25/1 1 bt709/tv/bt709/bt709 0.0-0.0", "", 2},
        {"$Q -f lavfi -i smptebars=size=1280x720:rate=25 -t 0.08 -c:v png hd.mov", {}, "hd.mov", "out.mkv",
         "video h264 1280x720 25/1 2 bt709/tv/bt709/bt709 0.0-0.1", "", 2},
        {"$Q -f lavfi -i " + small + " -t 0.1 -c:v ffv1 -pix_fmt gbrp sd.mkv", {}, "sd.mkv", "out.mp4",
         "video h264 64x48 30/1 3 smpte170m/tv/bt709/bt709 0.0-0.1", "", 3},
        // The shape of the pixels and the order of the fields.
        {"$Q -f lavfi -i " + small + " -t 0.1 -vf setsar=16/15,setfield=tff -flags +ildct+ilme tt.mp4", {}, "tt.mp4",
         "out.mp4", "video h264 64x48 30/1 3 0.0-0.1", "", 0,
         "$P -show_entries stream=sample_aspect_ratio,display_aspect_ratio,field_order out.mp4",
         "sample_aspect_ratio=16:15|display_aspect_ratio=64:45|field_order=tt\n"},
        {"$Q -f lavfi -i " + small + " -t 0.1 -vf setfield=bff -flags +ildct+ilme -aspect 16:9 bb.mkv", {"--lossless"},
         "bb.mkv", "out.mkv", "video ffv1 64x48 30/1 3 0.0-0.1", "", 0,
         "$P -show_entries stream=sample_aspect_ratio,display_aspect_ratio,field_order out.mkv",
         "sample_aspect_ratio=4:3|display_aspect_ratio=16:9|field_order=bb\n"},
        // Sound tracks decided one by one; subtitles, timecode, tags and the default track kept.
        {"printf '1\\n00:00:00,000 --> 00:00:00,500\\nHi\\n' >s.srt && $Q -f lavfi -i " + small + " -f lavfi -i sine "
         "-f lavfi -i sine=frequency=880 -i s.srt -t 1 -map 0 -map 1 -map 2 -map 3 -c:a:1 pcm_s16le -c:s mov_text "
         "-metadata title=T -metadata:s:v:0 language=fra -timecode 01:00:00:00 rich.mov",
         {}, "rich.mov", "out.mp4",
         "video h264 64x48 30/1 30 0.0-1.0, audio aac 0.0-1.0, audio aac 0.0-1.0, subtitle mov_text 0.0-0.5, data unknown 0.0-1.0",
         "rururev: the sound is encoded as aac: .mp4 cannot hold pcm_s16le sound as it is\n", 0,
         "$P -show_entries stream=codec_tag_string:stream_tags=language,timecode:format_tags=title out.mp4",
         "codec_tag_string=avc1|tag:language=fra|tag:timecode=01:00:00:00\ncodec_tag_string=mp4a|tag:language=und\n"
         "codec_tag_string=mp4a|tag:language=und\ncodec_tag_string=tx3g|tag:language=und\n"
         "codec_tag_string=tmcd|tag:language=eng|tag:timecode=01:00:00:00\ntag:title=T\n"},
        {"", {"--sound", "none"}, "rich.mov", "out.mkv", "video h264 64x48 30/1 30 0.0-1.0, subtitle subrip 0.0-0.5",
         "rururev: the subtitles are converted to subrip: .mkv cannot hold mov_text subtitles as they are\n", 0,
         "$P -show_entries stream_tags=language,timecode:stream_disposition=default:format_tags=title out.mkv",
         "disposition:default=1|tag:language=fra|tag:TIMECODE=01:00:00:00\ndisposition:default=1\ntag:title=T\n"},
        // Alpha read from VP9 and kept where the codec holds it.
        {"$Q -f lavfi -i \"" + small + ",format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a=128\" -t 0.1 -c:v "
         "libvpx-vp9 -pix_fmt yuva420p a.webm", {"--lossless"}, "a.webm", "out.mkv",
         "video ffv1 64x48 30/1 3 0.0-0.1", "", 0,
         "$Q -i out.mkv -vf crop=1:1,alphaextract -frames:v 1 -f rawvideo -pix_fmt gray - | od -An -tu1", " 128\n"},
        {"", {}, "a.webm", "out.webm", "video vp9 64x48 30/1 3 0.0-0.1", "", 0,
         "$Q -c:v libvpx-vp9 -i out.webm -vf alphaextract,crop=1:1 -frames:v 1 -f rawvideo -pix_fmt gray - | od -An "
         "-tu1 | awk '{print ($1 > 124 && $1 < 132)}'", "1\n"},
        // Five passes that change nothing lose what five of ffmpeg's own re-encodes lose: the mean red.
        {"$Q -f lavfi -i color=c=0xC93020:size=64x48:rate=25 -t 0.2 -pix_fmt yuv420p -crf 18 sat.mp4", {}, "sat.mp4",
         "p1.mp4", "video h264 64x48 25/1 5 0.0-0.2", "", 0,
         "cp sat.mp4 q0.mp4 && for i in 1 2 3 4 5; do [ $i = 1 ] || \"$R\" apply p$((i-1)).mp4 p$i.mp4 tovoRGB 2>/dev/null; "
         "$Q -i q$((i-1)).mp4 -crf 18 q$i.mp4; done && for f in p5 q5; do $Q -i $f.mp4 -f rawvideo -pix_fmt rgb24 - | "
         "od -An -tu1 -w3 -v | awk '{r += $1} END {print r / NR}'; done", "199\n199\n"},
        // 10-bit PQ: the line on what the filters see; a 10-bit output chosen by --encoder-options.
        {"$Q -f lavfi -i " + small + " -t 0.1 -pix_fmt yuv420p10le -color_primaries bt2020 -color_trc smpte2084 "
         "-colorspace bt2020nc pq.mp4", {"--encoder-options", "-pix_fmt yuv420p10le"}, "pq.mp4", "out.mkv",
         "video h264 64x48 30/1 3 bt2020nc/tv/bt2020/smpte2084 0.0-0.1",
         "rururev: 'pq.mp4' has 10-bit samples: the filters work on 8-bit words, so the output has 8 bits of each "
         "(--encoder-options \"-pix_fmt yuv420p10le\" stores them in 10); it is HDR (PQ): the filters see its "
         "PQ-coded levels, not SDR ones, and the output keeps its transfer\n", 0,
         "$P -show_entries stream=pix_fmt out.mkv", "pix_fmt=yuv420p10le\n"},
        // HDR's mastering display and light levels go to an H.265 output.
        {"$Q -f lavfi -i " + small + " -t 0.1 -pix_fmt yuv420p10le -c:v libx265 -x265-params 'log-level=error:"
         "master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1):max-cll=1000,400' "
         "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc hdr.mp4",
         {"--encoder-options", "-c:v libx265 -x265-params log-level=error"}, "hdr.mp4", "out.mp4",
         "video hevc 64x48 30/1 3 bt2020nc/tv/bt2020/smpte2084 0.0-0.1",
         "rururev: 'hdr.mp4' has 10-bit samples: the filters work on 8-bit words, so the output has 8 bits of each "
         "(--encoder-options \"-pix_fmt yuv420p10le\" stores them in 10); it is HDR (PQ): the filters see its "
         "PQ-coded levels, not SDR ones, and the output keeps its transfer\n", 0,
         "$P -read_intervals %+#1 -show_entries frame=pict_type:frame_side_data=green_x,white_point_y,max_luminance,"
         "min_luminance,max_content,max_average out.mp4 | grep .",
         "pict_type=I|green_x=13250/50000|white_point_y=16450/50000|min_luminance=1/10000|max_luminance=10000000/10000\n"
         "max_content=1000|max_average=400\n"},
        // An animated PNG is a video.
        {"$Q -f lavfi -i testsrc2=size=64x48:rate=10 -t 0.5 -f apng anim.png", {}, "anim.png", "out.mp4",
         "video h264 64x48 10/1 5 smpte170m/tv/bt709/bt709 0.0-0.5", "", 3},
        // Names that look like an address or an option name files.
        {"cp short.mp4 file:clip.mp4", {}, "file:clip.mp4", "-out.mp4",
         "video h264 64x48 30/1 90 0.0-3.0, audio aac 0.0-1.0", "", 0},
    };
    const std::string env = "cd " + shell_quote(dir.path()) + " && Q='ffmpeg -nostdin -v error -y' && "
                            "P='ffprobe -v error -of compact=p=0' && R=" + shell_quote(build_dir() + "/rururev") + " && ";
    for (const auto& c : cases) {
        const std::string name = std::string(c.in) + " " + c.out;
        ASSERT_EQ(c.make.empty() ? 0 : run_shell(env + c.make).status, 0) << c.make;
        std::string command = env + shell_quote(build_dir() + "/rururev") + " apply";
        for (const std::string& o : c.options) command += " " + shell_quote(o);
        command += std::string(" -- ") + shell_quote(c.in) + " " + shell_quote(c.out) + " tovoRGB 0 0 0 0";
        const Outcome o = run_shell(command);
        ASSERT_EQ(o.status, 0) << name << ": " << o.err;
        const size_t summary = o.err.find(" frames in ");  // the last line: "rururev: 45 frames in 0.1 s"
        EXPECT_EQ(o.err.substr(0, summary == std::string::npos ? summary : o.err.rfind("rururev: ", summary)), c.err) << name;
        EXPECT_EQ(streams_of(dir / c.out), c.streams) << name;
        if (c.colour_bound > 0) {
            EXPECT_LE(mean_difference(decoded_bgra(dir / c.in), decoded_bgra(dir / c.out)), c.colour_bound) << name;
        }
        if (!c.check.empty()) {
            EXPECT_EQ(run_shell(env + c.check).out, c.checked) << name;
        }
    }
}

using VideoWords = LuaTest;

// On the lossless path every output frame is the filter applied to the
// decoded input frame, word for word, alpha included.
// Each row's output, decoded, holds the filtered words of every frame: a lossless video, the frames
// of a folder and of a pattern, and the video made again from that folder with an identity chain.
TEST_F(VideoWords, ALosslessOutputHoldsTheFilteredWordsOfEveryFrame) {
    NEED_FFMPEG();
    ScratchDir dir;
    const std::string clip = make_clip(dir);
    const std::string before = decoded_bgra(clip);
    ASSERT_EQ(before.size(), 45u * 64 * 48 * 4);
    std::vector<uint32_t> words(before.size() / 4);
    std::memcpy(words.data(), before.data(), before.size());  // the tests run on little-endian
    for (size_t f = 0; f < 45; ++f) {
        std::vector<uint32_t> frame(words.begin() + static_cast<long>(f * 64 * 48),
                                    words.begin() + static_cast<long>((f + 1) * 64 * 48));
        set_buffer(frame, "frame");
        run("librururev.tovoHSV(frame, 64, 48, 10, 20, 0, 0)\n"
            "librururev.tovoRGB(frame, 64, 48, 0, 0, 0, -100)");
        std::copy(frame.begin(), frame.end(), words.begin() + static_cast<long>(f * 64 * 48));
    }
    const std::vector<std::string> chain = {"tovoHSV", "10", "20", "0", "0", "+", "tovoRGB", "0", "0", "0", "-100"};
    const struct {
        std::vector<std::string> args;
        std::string read;
    } cases[] = {
        {{"--lossless", clip, dir / "out.mkv"}, dir / "out.mkv"},
        {{clip, dir / "folder/"}, dir / "folder/%06d.png"},
        {{clip, dir / "p/f%03d.png"}, dir / "p/f%03d.png"},
        {{"--lossless", dir / "folder", dir / "back.mkv", "tovoRGB", "0", "0", "0", "0"}, dir / "back.mkv"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"apply"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        if (c.args.size() <= 3) args.insert(args.end(), chain.begin(), chain.end());
        const Outcome o = run_rururev(args);
        ASSERT_EQ(o.status, 0) << c.read << ": " << o.err;
        const std::string after = decoded_bgra(c.read);
        ASSERT_EQ(after.size(), before.size()) << c.read;
        EXPECT_EQ(std::memcmp(words.data(), after.data(), after.size()), 0) << c.read;
    }
}

// A folder of stand-ins for ffmpeg: each records its process id, then runs
// the real program, or plays a failure when its arguments hold `trigger`.
std::string fake_ffmpeg(const ScratchDir& dir, const std::string& trigger, const std::string& failure) {
    const std::string bin = dir / "bin";
    make_dir(bin);
    const std::string real = run_shell("command -v ffmpeg").out;
    write_file(bin + "/ffmpeg", "#!/bin/sh\necho $$ >>" + shell_quote(dir / "pids") +
                                    "\ncase \" $* \" in *\" " + trigger + " \"*) " + failure +
                                    " ;; esac\nexec " + real.substr(0, real.size() - 1) + " \"$@\"\n");
    run_shell("chmod +x " + shell_quote(bin + "/ffmpeg") + " && ln -s \"$(command -v ffprobe)\" " +
              shell_quote(bin + "/ffprobe"));
    return bin;
}

// Every failure: its message, its status, no output and no temporary file
// left, and no ffmpeg left running.
TEST(Video, FailuresSayWhyAndLeaveNoFileAndNoProcess) {
    NEED_FFMPEG();
    ScratchDir clips;
    const std::string clip = make_clip(clips);
    write_file(clips / "text.mp4", "not a video");
    const std::string run = "\"$RURUREV\" apply \"$IN\" \"$OUT\" tovoRGB 1 2 3 4";
    ASSERT_EQ(run_shell("cd " + shell_quote(clips.path()) + " && " + quiet + "-f lavfi -i testsrc=size=641x479 -t 0.2 " +
                        "-c:v ffv1 odd.mkv && " + quiet + "-i clip.mp4 -c:v copy -c:a pcm_s16le pcm.mov").status, 0);
    // Frames of a video through a script, which ends by os.exit after three
    // when told to.
    write_file(clips / "loop.lua", "local image = require 'rururev_image'\nlocal clip, out, how = ...\n"
                                   "local w = image.writer(out, {like = clip})\n"
                                   "for pic, n in image.frames(clip) do\n  w:write(pic)\n"
                                   "  if how == 'exit' and n == 3 then os.exit(0) end\nend\n"
                                   "if how == 'open' then return end\n"
                                   "local ok, message = pcall(w.close, w)\n"
                                   "if not ok then io.stderr:write(message, '\\n') os.exit(1) end\n");
    // A file system of a few pages in a mount namespace of the test's own,
    // holding an old OUT: what is left there is listed on stdout.
    const std::string full_disk = "unshare -m true 2>/dev/null || exit 77; export LOOP; unshare -m sh -c 'mount -t "
                                  "tmpfs -o size=12k tmpfs \"$DIR\" && echo old >\"$OUT\" && \"$@\"; s=$?; ls \"$DIR\"; "
                                  "cat \"$OUT\"; exit $s' - ";
    // A script stopped while its encoder takes no frames.
    const std::string stop_run = "env --default-signal=INT \"$RURUREV\" run \"$LOOP\" \"$IN\" \"$OUT\" & pid=$!; while [ $(wc -l <\"$DIR/pids\") "
                                 "-lt 2 ]; do sleep 0.05; done; sleep 0.3; kill -";
    const struct {
        const char* name;
        std::string in, trigger, failure, shell, err;
        int status;
        std::string out = "";
    } cases[] = {
        {"no ffmpeg", clip, "", "", "PATH=/nonexistent " + run,
         "rururev: video needs the ffmpeg and ffprobe programs, and ffmpeg is not on the PATH (on "
         "Debian: apt-get install ffmpeg)\n", 2},
        {"no ffmpeg, to frames", clip, "", "", "PATH=/nonexistent \"$RURUREV\" apply \"$IN\" \"$DIR/f/\" tovoRGB 1",
         "rururev: cannot load '" + clip + "': not a PNG or JPEG file; if it is a video: video needs the ffmpeg and "
         "ffprobe programs, and ffmpeg is not on the PATH (on Debian: apt-get install ffmpeg)\n", 2},
        {"not a video", clips / "text.mp4", "", "", run,
         "rururev: cannot read '" + (clips / "text.mp4") + "': Invalid data found when processing input\n", 1},
        {"decoder dies", clip, "pipe:1", "\"$REAL\" \"$@\" | head -c 30000; echo decoder broke down >&2; exit 1",
         run, "rururev: cannot decode '" + clip + "': ... decoder broke down\n", 1},
        {"a frame lost", clip, "pipe:0", "head -c 540672 | \"$REAL\" \"$@\"; exit", run,
         "rururev: cannot encode '$OUT': the file holds 44 of 45 frames\n", 1},
        {"encoder dies", clip, "pipe:0", "head -c 30000 >/dev/null; echo encoder broke down >&2; exit 1",
         run, "rururev: cannot encode '$OUT': encoder broke down\n", 1},
        // An encoder that takes no frames: apply waits on the pipe until the signal.
        {"Ctrl-C", clip, "pipe:0", "exec sleep 60",
         run + " & pid=$!; while [ $(wc -l <\"$DIR/pids\") -lt 2 ]; do sleep 0.05; done; sleep 0.3; "
               "kill -INT $pid; wait $pid",
         "rururev: interrupted; '$OUT' was not written\n", 130},
        {"odd size", clips / "odd.mkv", "", "", run,
         "rururev: cannot write '$OUT': its frames are 641 x 479 pixels, and its codec (4:2:0) needs even sizes; "
         "a lossless .mkv (--lossless) keeps every size\n", 1},
        {"sound not held", clips / "pcm.mov", "", "", "\"$RURUREV\" apply --sound copy \"$IN\" \"$OUT\" tovoRGB 1",
         "rururev: cannot write '$OUT': .mp4 cannot hold pcm_s16le sound as it is; encode it (--sound encode) or "
         "leave it out (--sound none)\n", 1},
        {"full disk", clip, "", "", full_disk + run.substr(0, run.find(" tovoRGB")) + " tovoRGB 1",
         "rururev: cannot encode '$OUT': ... No space left on device\n", 1, "out.mp4\nold\n"},
        // The writer's picture fits; the sound, put beside it at close, does not.
        {"full disk, writer", clip, "", "", full_disk + "\"$RURUREV\" run \"$LOOP\" \"$IN\" \"$OUT\"",
         "cannot encode '$OUT': ... No space left on device / Error initializing output stream 0:1 --\n", 1,
         "out.mp4\nold\n"},
        {"run, SIGINT", clip, "pipe:0", "exec sleep 60", stop_run + "INT $pid; wait $pid", "", 130},
        {"run, SIGTERM", clip, "pipe:0", "exec sleep 60", stop_run + "TERM $pid; wait $pid 2>/dev/null", "", 143},
        {"run, SIGHUP", clip, "pipe:0", "exec sleep 60", stop_run + "HUP $pid; wait $pid 2>/dev/null", "", 129},
        // A writer left open: its file is not written, and the run says so.
        {"run, os.exit", clip, "pipe:0", ":", "\"$RURUREV\" run \"$LOOP\" \"$IN\" \"$OUT\" exit",
         "rururev: '$OUT' was not written: its writer was not closed\n", 0},
        {"run, never closed", clip, "", "", "\"$RURUREV\" run \"$LOOP\" \"$IN\" \"$OUT\" open",
         "rururev: '$OUT' was not written: its writer was not closed\n", 1},
        // A folder made for OUT is removed again when the run fails.
        {"encoder dies, new folder", clip, "pipe:0", "head -c 30000 >/dev/null; echo encoder broke down >&2; exit 1",
         "\"$RURUREV\" apply \"$IN\" \"$DIR/new/out.mp4\" tovoRGB 1", "rururev: cannot encode '... encoder broke down\n", 1},
        {"lua5.1, os.exit", clip, "pipe:0", ":",
         "command -v lua5.1 >/dev/null || exit 77; lua5.1 -e \"package.cpath='$(dirname \"$RURUREV\")/?.so'\" "
         "\"$LOOP\" \"$IN\" \"$OUT\" exit", "", 0},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        write_file(dir / "pids", "");
        const std::string bin = c.trigger.empty() ? "" : fake_ffmpeg(dir, c.trigger, c.failure);
        const std::string real = run_shell("command -v ffmpeg").out;
        const std::string env = "RURUREV=" + shell_quote(build_dir() + "/rururev") + " IN=" + shell_quote(c.in) +
                                " OUT=" + shell_quote(dir / "out.mp4") + " DIR=" + shell_quote(dir.path()) +
                                " REAL=" + shell_quote(real.substr(0, real.size() - 1)) +
                                " LOOP=" + shell_quote(clips / "loop.lua") +
                                (bin.empty() ? "" : " PATH=" + shell_quote(bin) + ":\"$PATH\"");
        const Outcome o = run_shell("export " + env + "; " + c.shell);
        if (o.status == 77) {  // unshare or lua5.1 is not there
            if (running_in_ci()) ADD_FAILURE() << c.name << ": cannot run here (required in CI)";
            continue;
        }
        EXPECT_EQ(o.out, c.out) << c.name;
        std::string err = c.err;
        const size_t at = err.find("$OUT");
        if (at != std::string::npos) err.replace(at, 4, dir / "out.mp4");
        EXPECT_EQ(o.status, c.status) << c.name;
        // The last lines of a child's stderr end the message: "..." stands for those before.
        const size_t dots = err.find("... ");
        if (dots == std::string::npos) {
            EXPECT_EQ(o.err, err) << c.name;
        } else {
            EXPECT_EQ(o.err.substr(0, dots), err.substr(0, dots)) << c.name;
            EXPECT_GT(o.err.size(), err.size() - 4) << c.name << ": " << o.err;
            EXPECT_EQ(o.err.substr(o.err.size() - (err.size() - dots - 4)), err.substr(dots + 4)) << c.name;
        }
        std::vector<std::string> left = dir.names();
        EXPECT_EQ(left, bin.empty() ? std::vector<std::string>{"pids"} : (std::vector<std::string>{"bin", "pids"}))
            << c.name;
        for (const std::string& pid : split_lines(read_file(dir / "pids"))) {
            EXPECT_NE(run_shell("kill -0 " + pid).status, 0) << c.name << ": process " << pid << " is left";
        }
    }
}

// The loop of the README: frames of a video in, each filtered by its
// number, out to a lossless video with the input's rate and sound; read back
// frame by frame it holds those words. Pictures go to a pattern and come back
// from it, and mistakes raise errors that say what is wrong.
TEST(VideoScripts, FramesComeAsALoopAndTheWriterFinishesTheFile) {
    NEED_FFMPEG();
    ScratchDir dir;
    const std::string clip = make_clip(dir);
    write_file(dir / "loop.lua", R"(
local image = require "rururev_image"
local clip, dir = ...
local out = image.writer(dir .. "/out.mkv", {like = clip, lossless = true})
for pic, n in image.frames(clip) do
  pic:apply(librururev.tovoHSV, n % 360, 0, 0, 0)
  out:write(pic)
end
out:close()
local back, differing, frames = image.frames(dir .. "/out.mkv"), 0, 0
for pic, n in image.frames(clip) do
  pic:apply(librururev.tovoHSV, n % 360, 0, 0, 0)
  local got = back()
  for y = 0, 47 do
    for x = 0, 63 do differing = differing + (got:get(x, y) == pic:get(x, y) and 0 or 1) end
  end
  frames = n
end
assert(back() == nil)
local cut = image.writer(dir .. "/cut.mp4", {like = clip})
for pic in image.frames(clip, {frames = 10}) do cut:write(pic) end
cut:close()
local still = image.writer(dir .. "/f%02d.png")
for pic in image.frames(clip, {frames = 3}) do still:write(pic) end
still:close()
local pictures = 0
for pic, n in image.frames(dir .. "/f%02d.png") do pictures = n end
print(frames, differing, pictures)
for _, call in ipairs{
  function() return image.writer(dir .. "/out.gif") end,
  function() return image.writer(dir .. "/out.mp4", {crf = 99}) end,
  function() return image.writer(dir .. "/out.mp4", {lossless = true}) end,
  function() image.writer(dir .. "/none.mp4"):close() end,
  function() local w = image.writer(dir .. "/w.mp4") w:write(image.new(2, 2)) w:close() w:close() end,
  function() local w = image.writer(dir .. "/sz.mkv", {lossless = true}) w:write(image.new(64, 64)) w:write(image.new(32, 32)) end,
  function() return image.frames(dir .. "/missing.mp4") end,
} do
  local message = select(2, pcall(call)):gsub("^[^']-:%d+: ", "")
  print((message:gsub(dir:gsub("%p", "%%%0"), "DIR")))
end
)");
    const Outcome o = run_rururev({"run", dir / "loop.lua", clip, dir.path()});
    // The writer left open after its frame of the wrong size writes no file, and the run fails.
    EXPECT_EQ(o.err, "rururev: '" + (dir / "sz.mkv") + "' was not written: its writer was not closed\n");
    ASSERT_EQ(o.status, 1);
    EXPECT_EQ(o.out,
              "45\t0\t3\n"
              "cannot write 'DIR/out.gif': use a video name (.mp4, .m4v, .mov, .mkv or .webm) or a frame "
              "pattern such as out/%04d.png\n"
              "option crf must be a whole number from 0 to 63\n"
              "cannot write 'DIR/out.mp4': lossless video needs a .mkv name\n"
              "cannot write 'DIR/none.mp4': no frames were written\n"
              "the writer of 'DIR/w.mp4' is closed\n"
              "cannot write 'DIR/sz.mkv': frame 2 is 32 x 32 pixels, the frames before it 64 x 64\n"
              "cannot read 'DIR/missing.mp4': No such file or directory\n");
    EXPECT_EQ(streams_of(dir / "out.mkv"), "video ffv1 64x48 30000/1001 45 0.0-1.5, audio aac 0.0-1.5");
    EXPECT_EQ(streams_of(dir / "cut.mp4"), "video h264 64x48 30000/1001 10 0.0-0.3, audio aac 0.0-0.3");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"clip.mp4", "cut.mp4", "f01.png", "f02.png", "f03.png", "loop.lua",
                                                     "out.mkv", "w.mp4"}));
}

// Waiting gives how a child ended, and fails for one never started or
// already reaped, leaving the host's other children alone.
TEST(ChildProcess, WaitingGivesHowAChildEnded) {
    using rururev::image::Child;
    const auto start = [](const char* script) {
        Child child;
        std::string error;
        EXPECT_TRUE(rururev::image::spawn({"/bin/sh", "-c", script}, -1, -1, child, error)) << error;
        return child;
    };
    Child reaped = start("exit 0");
    waitpid(reaped.pid, nullptr, 0);
    const struct { Child child; int status; } cases[] = {
        {start("exit 3"), 3}, {start("kill -9 $$"), 128 + 9}, {Child{}, rururev::image::no_child}, {reaped, rururev::image::no_child}};
    const pid_t other = fork();
    if (other == 0) _exit(5);
    for (auto c : cases) {
        EXPECT_EQ(rururev::image::wait_child(c.child), c.status);
        rururev::image::close_log(c.child);
    }
    int status = 0;
    EXPECT_EQ(waitpid(other, &status, 0), other);
    EXPECT_EQ(WEXITSTATUS(status), 5);
}

}  // namespace
