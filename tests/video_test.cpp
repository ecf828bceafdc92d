// Video files through apply: what the output keeps of the input, the words
// of a lossless output, and every way a run can fail, each leaving no file.
// The clips are made by ffmpeg's own test sources; without ffmpeg the tests
// are skipped.
#include <cstring>

#include "lua_fixture.h"
#include "scratch.h"

namespace {

const std::string quiet = "ffmpeg -nostdin -v error -y ";

bool have_ffmpeg() { return run_shell("command -v ffmpeg && command -v ffprobe").status == 0; }

// A clip of 45 frames of 64 x 48 at 30000/1001 frames per second, with sound.
std::string make_clip(const ScratchDir& dir) {
    const std::string clip = dir / "clip.mp4";
    const Outcome o = run_shell(quiet + "-f lavfi -i testsrc=size=64x48:rate=30000/1001 -f lavfi "
                                        "-i sine=frequency=440 -t 1.5 -c:v libx264 -pix_fmt yuv420p "
                                        "-c:a aac -shortest " + shell_quote(clip));
    EXPECT_EQ(o.status, 0) << o.err;
    return clip;
}

// "video 64x48 30000/1001 45, audio": the streams of a file as ffprobe
// sees them, with the frames of the video.
std::string streams_of(const std::string& path) {
    const std::string out = run_shell("ffprobe -v error -count_packets -show_entries "
                                      "stream=codec_type,width,height,r_frame_rate,nb_read_packets "
                                      "-of default=nw=1:nk=1 " + shell_quote(path)).out;
    std::string text;
    for (size_t at = 0; at < out.size();) {
        size_t end = out.find('\n', at);
        const std::string type = out.substr(at, end - at);
        text += (text.empty() ? "" : ", ") + type;
        for (int field = 0; field < (type == "video" ? 4 : 2); ++field) {
            at = end + 1;
            end = out.find('\n', at);
            if (type == "video") text += (field == 1 ? "x" : " ") + out.substr(at, end - at);
        }
        at = end + 1;
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

std::string decoded_bgra(const std::string& path) {
    return run_shell(quiet + "-i " + shell_quote(path) + " -fps_mode passthrough -f rawvideo -pix_fmt bgra -").out;
}

TEST(Video, TheOutputKeepsSizeRateFrameCountAndSound) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ScratchDir dir;
    const std::string clip = make_clip(dir);
    ASSERT_EQ(streams_of(clip), "video 64x48 30000/1001 45, audio");
    const struct { std::vector<std::string> options; const char* out; const char* streams; } cases[] = {
        {{}, "out.mp4", "video 64x48 30000/1001 45, audio"},
        {{"--crf", "30"}, "out.mov", "video 64x48 30000/1001 45, audio"},
        {{"--lossless"}, "out.mkv", "video 64x48 30000/1001 45, audio"},
        {{"--frames", "10", "--encoder-options", "-preset ultrafast"}, "out.mp4",
         "video 64x48 30000/1001 10, audio"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"apply"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {clip, dir / c.out, "tovoHSV", "10", "20", "0", "0"});
        const Outcome o = run_rururev(args);
        ASSERT_EQ(o.status, 0) << c.out << ": " << o.err;
        EXPECT_EQ(streams_of(dir / c.out), c.streams) << c.out;
    }
}

using VideoWords = LuaTest;

// On the lossless path every output frame is the filter applied to the
// decoded input frame, word for word, alpha included.
TEST_F(VideoWords, ALosslessOutputHoldsTheFilteredWordsOfEveryFrame) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ScratchDir dir;
    const std::string clip = make_clip(dir);
    const Outcome o = run_rururev({"apply", "--lossless", clip, dir / "out.mkv", "tovoHSV", "10", "20",
                                   "0", "0", "+", "tovoRGB", "0", "0", "0", "-100"});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string before = decoded_bgra(clip), after = decoded_bgra(dir / "out.mkv");
    ASSERT_EQ(before.size(), 45u * 64 * 48 * 4);
    ASSERT_EQ(after.size(), before.size());
    std::vector<uint32_t> words(before.size() / 4);
    std::memcpy(words.data(), before.data(), before.size());  // the tests run on little-endian
    for (size_t f = 0; f < 45; ++f) {
        std::vector<uint32_t> frame(words.begin() + static_cast<long>(f * 64 * 48),
                                    words.begin() + static_cast<long>((f + 1) * 64 * 48));
        set_buffer(frame, "frame");
        run("librururev.tovoHSV(frame, 64, 48, 10, 20, 0, 0)\n"
            "librururev.tovoRGB(frame, 64, 48, 0, 0, 0, -100)");
        EXPECT_EQ(std::memcmp(frame.data(), after.data() + f * 64 * 48 * 4, 64 * 48 * 4), 0) << f;
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
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ScratchDir clips;
    const std::string clip = make_clip(clips);
    write_file(clips / "text.mp4", "not a video");
    const std::string run = "\"$RURUREV\" apply \"$IN\" \"$OUT\" tovoRGB 1 2 3 4";
    const struct {
        const char* name;
        std::string in, trigger, failure, shell, err;
        int status;
    } cases[] = {
        {"no ffmpeg", clip, "", "", "PATH=/nonexistent " + run,
         "rururev: video needs the ffmpeg and ffprobe programs, and ffmpeg is not on the PATH (on "
         "Debian: apt-get install ffmpeg)\n", 2},
        {"not a video", clips / "text.mp4", "", "", run,
         "rururev: cannot read '" + (clips / "text.mp4") + "': Invalid data found when processing input\n", 1},
        {"decoder dies", clip, "pipe:1", "\"$REAL\" \"$@\" | head -c 30000; echo decoder broke down >&2; exit 1",
         run, "rururev: cannot decode '" + clip + "': ... decoder broke down\n", 1},
        {"encoder dies", clip, "pipe:0", "head -c 30000 >/dev/null; echo encoder broke down >&2; exit 1",
         run, "rururev: cannot encode '$OUT': encoder broke down\n", 1},
        // An encoder that takes no frames: apply waits on the pipe until the signal.
        {"Ctrl-C", clip, "pipe:0", "exec sleep 60",
         run + " & pid=$!; while [ $(wc -l <\"$DIR/pids\") -lt 2 ]; do sleep 0.05; done; sleep 0.3; "
               "kill -INT $pid; wait $pid",
         "rururev: interrupted; '$OUT' was not written\n", 130},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        write_file(dir / "pids", "");
        const std::string bin = c.trigger.empty() ? "" : fake_ffmpeg(dir, c.trigger, c.failure);
        const std::string real = run_shell("command -v ffmpeg").out;
        const std::string env = "RURUREV=" + shell_quote(build_dir() + "/rururev") + " IN=" + shell_quote(c.in) +
                                " OUT=" + shell_quote(dir / "out.mp4") + " DIR=" + shell_quote(dir.path()) +
                                " REAL=" + shell_quote(real.substr(0, real.size() - 1)) +
                                (bin.empty() ? "" : " PATH=" + shell_quote(bin) + ":\"$PATH\"");
        const Outcome o = run_shell("export " + env + "; " + c.shell);
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
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
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
  function() return image.frames(dir .. "/missing.mp4") end,
} do
  local message = select(2, pcall(call)):gsub("^[^']-:%d+: ", "")
  print((message:gsub(dir:gsub("%p", "%%%0"), "DIR")))
end
)");
    const Outcome o = run_rururev({"run", dir / "loop.lua", clip, dir.path()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "45\t0\t3\n"
              "cannot write 'DIR/out.gif': use a video name (.mp4, .m4v, .mov, .mkv or .webm) or a frame "
              "pattern such as out/%04d.png\n"
              "option crf must be a whole number from 0 to 63\n"
              "cannot write 'DIR/out.mp4': lossless video needs a .mkv name\n"
              "cannot write 'DIR/none.mp4': no frames were written\n"
              "the writer of 'DIR/w.mp4' is closed\n"
              "cannot read 'DIR/missing.mp4': No such file or directory\n");
    EXPECT_EQ(streams_of(dir / "out.mkv"), "video 64x48 30000/1001 45, audio");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"clip.mp4", "f01.png", "f02.png", "f03.png", "loop.lua",
                                                     "out.mkv", "w.mp4"}));
}

}  // namespace
