// The rururev program, run as users run it: apply against the same calls
// through Lua, frame sequences, raw pipes (and ffmpeg around them when it is
// installed), scripts, the gallery, and bad input.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include <sys/stat.h>

#include "image/picture_file.h"
#include "lua_fixture.h"
#include "scratch.h"

using rururev::image::load_picture;
using rururev::image::Raster;
using rururev::image::save_png;

namespace {

// A picture of w x h varied words: every alpha class, transparent pixels
// with colour, channels at both ends.
Raster varied_picture(uint32_t w, uint32_t h, uint32_t seed) {
    Raster p;
    p.width = w;
    p.height = h;
    uint32_t x = seed;
    for (uint32_t i = 0; i < w * h; ++i) {
        x = x * 1664525u + 1013904223u;
        uint32_t word = x;
        if (i % 7 == 0) word &= 0x00FFFFFF;  // transparent, colour kept
        if (i % 11 == 0) word |= 0xFF000000;
        p.words.push_back(word);
    }
    return p;
}

void save(const std::string& path, const Raster& p) {
    std::string error;
    ASSERT_TRUE(save_png(path, p, error)) << error;
}

Raster load(const std::string& path) {
    Raster p;
    std::string error;
    EXPECT_TRUE(load_picture(path, p, error)) << error;
    return p;
}

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; std::getline(in, w, '\t');) words.push_back(w);
    return words;
}

bool have_lua51() { return std::string(RURUREV_LUA51).size() > 0; }

// Runs `code` in the stock interpreter with both modules on its cpath.
Outcome run_lua51(const std::string& script, const std::vector<std::string>& args) {
    std::string command = shell_quote(RURUREV_LUA51) + " " + shell_quote(script);
    for (const std::string& a : args) command += " " + shell_quote(a);
    return run_shell(command);
}

TEST(Apply, EveryFilterGivesTheWordsOfTheSameCallThroughLua) {
    if (!have_lua51()) SKIP_UNLESS_CI("lua5.1 is not installed");
    ScratchDir dir;
    save(dir / "in.png", varied_picture(37, 23, 1));
    ASSERT_TRUE(make_dir(dir / "lua"));
    const Outcome ref = run_lua51(RURUREV_SOURCE_DIR "/tests/lua/filter_reference.lua",
                                  {build_dir(), RURUREV_SOURCE_DIR "/src/cli/filters.lua",
                                   dir / "in.png", dir / "lua"});
    ASSERT_EQ(ref.status, 0) << ref.err;
    std::istringstream lines(ref.out);
    int compared = 0;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> words = split_tabs(line);
        const std::string name = words[0];
        std::vector<std::string> args = {"apply"};
        size_t at = 1;
        if (words.size() > 2 && words[1] == "--curve") {
            args.insert(args.end(), {"--curve", words[2]});
            at = 3;
        }
        args.insert(args.end(), {dir / "in.png", dir / "out.png", name});
        args.insert(args.end(), words.begin() + static_cast<long>(at), words.end());
        const Outcome o = run_rururev(args);
        ASSERT_EQ(o.status, 0) << name << ": " << o.err;
        EXPECT_EQ(load(dir / "out.png").words, load(dir / ("lua/" + name + ".png")).words) << name;
        ++compared;
    }
    EXPECT_GE(compared, 2);  // tovoRGB and tovoRGB2 at least
}

TEST(Apply, ChainsRunLeftToRight) {
    ScratchDir dir;
    Raster in = varied_picture(5, 4, 2);
    save(dir / "in.png", in);
    const Outcome o = run_rururev({"apply", dir / "in.png", dir / "out.png", "tovoRGB", "300", "0",
                                   "0", "0", "+", "tovoRGB2", "-10", "0", "0", "0x10"});
    ASSERT_EQ(o.status, 0) << o.err;
    const Raster out = load(dir / "out.png");
    for (size_t i = 0; i < in.words.size(); ++i) {
        // Red first goes to 255, then down by 10 where the pixel is visible.
        const uint32_t a = in.words[i] >> 24;
        const uint32_t want = a == 0 ? (in.words[i] & 0x0000FFFF) | 0x00FF0000
                                     : (std::min(a + 16, 255u) << 24) | 0x00F50000 | (in.words[i] & 0xFFFF);
        EXPECT_EQ(out.words[i], want) << i;
    }
}

using Sequences = LuaTest;

// Frames f1, f2, f10 in a folder, natural order f1, f2, f10: one picture,
// then its top two rows changed, then only its bottom two rows changed. In
// another order the frame change marks would fall elsewhere.
void write_frames(const ScratchDir& dir, const std::string& folder) {
    ASSERT_TRUE(make_dir(dir / folder));
    const Raster base = varied_picture(9, 6, 3);
    const struct { int n; size_t from, to; } frames[] = {{1, 0, 0}, {2, 0, 18}, {10, 36, 54}};
    for (const auto& f : frames) {
        Raster frame = base;
        for (size_t i = f.from; i < f.to; ++i) frame.words[i] ^= 0x00FF00FF;
        save(dir / (folder + "/f" + std::to_string(f.n) + ".png"), frame);
    }
}

// A folder of frames through one filter equals calling it frame by frame
// in one Lua state, in natural order, on one thread or several.
void check_sequence(const std::string& name, const std::vector<std::string>& args) {
    if (!have_lua51()) SKIP_UNLESS_CI("lua5.1 is not installed");
    ScratchDir dir;
    write_frames(dir, "in");
    const std::vector<std::vector<std::string>> runs = {
        {"apply", "--jobs", "1", dir / "in", dir / "out1", name},
        {"apply", dir / "in", dir / "out", name},
        {"apply", "--jobs", "3", dir / "in", dir / "out3", name},
    };
    for (std::vector<std::string> line : runs) {
        line.insert(line.end(), args.begin(), args.end());
        const Outcome o = run_rururev(line);
        ASSERT_EQ(o.status, 0) << o.err;
    }
    std::string call = "pic:apply(lib." + name;
    for (const std::string& a : args) call += ", " + a;
    write_file(dir / "ref.lua",
               "package.cpath = '" + build_dir() + "/?.so;' .. package.cpath\n"
               "local image, lib = require 'rururev_image', require 'librururev'\n"
               "local dir = ...\n"
               "for _, n in ipairs{1, 2, 10} do\n"
               "  local pic = image.load(dir .. '/in/f' .. n .. '.png')\n"
               "  " + call + ")\n"
               "  pic:save(dir .. '/ref' .. n .. '.png')\n"
               "end\n");
    const Outcome ref = run_lua51(dir / "ref.lua", {dir.path()});
    ASSERT_EQ(ref.status, 0) << ref.err;
    for (int n : {1, 2, 10}) {
        const std::string f = "f" + std::to_string(n) + ".png";
        const std::vector<uint32_t> ref = load(dir / ("ref" + std::to_string(n) + ".png")).words;
        for (const char* out : {"out/", "out1/", "out3/"}) {
            EXPECT_EQ(load(dir / (out + f)).words, ref) << name << " " << out << f;
        }
    }
}

TEST_F(Sequences, FramesAreFilteredInOrderLikeCallsFrameByFrame) {
    check_sequence("tovoRGB", {"5", "-5", "9", "1"});
}

TEST_F(Sequences, FrameChangeMarkingCarriesItsStoreAcrossFrames) {
    check_sequence("tovoFrameCBA", {"0", "10", "10", "10", "2", "0xFF0000", "false"});
}

TEST(FrameFiles, PatternsNumberTheOutputLikeTheInput) {
    ScratchDir dir;
    const Raster frame = varied_picture(3, 3, 4);
    for (int n : {0, 1, 2}) save(dir / ("in" + std::to_string(n) + ".png"), frame);
    save(dir / "in4.png", frame);  // after the gap: not a frame of the sequence
    const Outcome o = run_rururev({"apply", dir / "in%d.png", dir / "out%03d.png", "tovoRGB", "1"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in0.png", "in1.png", "in2.png", "in4.png",
                                                     "out000.png", "out001.png", "out002.png"}));
}

TEST(FrameFiles, ABadFrameStopsTheRunAfterTheFramesBeforeIt) {
    ScratchDir dir;
    write_frames(dir, "in");
    write_file(dir / "in/f2.png", "broken");
    for (const std::string out : {"out1", "out4"}) {
        const Outcome o = run_rururev({"apply", "--jobs", out.substr(3), dir / "in", dir / out, "tovoRGB", "1"});
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, "rururev: cannot load '" + (dir / "in/f2.png") + "': not a PNG or JPEG file\n");
        EXPECT_TRUE(file_exists(dir / (out + "/f1.png")));
        EXPECT_FALSE(file_exists(dir / (out + "/f2.png")));
        EXPECT_FALSE(file_exists(dir / (out + "/f10.png")));
    }
    // An output that cannot be written is refused before any frame is read.
    write_frames(dir, "ok");
    ASSERT_TRUE(make_dir(dir / "w") && make_dir(dir / "w/f2.png"));
    const Outcome o = run_rururev({"apply", "--jobs", "4", dir / "ok", dir / "w", "tovoRGB", "1"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("rururev: cannot write '" + (dir / "w/f2.png") + "': "), std::string::npos) << o.err;
    EXPECT_FALSE(file_exists(dir / "w/f1.png"));
}

// Three frames of 5 x 3 BGRA bytes and what tovoRGB 3 -4 5 -6 makes of them.
struct RawClip {
    std::string in, out;
};

std::string bgra_bytes(const std::vector<uint32_t>& words) {
    std::string bytes;
    for (uint32_t w : words) {
        for (int k = 0; k < 4; ++k) bytes += static_cast<char>(w >> (8 * k));
    }
    return bytes;
}

class RawPipes : public LuaTest {
protected:
    RawClip raw_clip() {
        std::vector<uint32_t> words = varied_picture(5, 9, 5).words;
        RawClip clip;
        clip.in = bgra_bytes(words);
        for (int f = 0; f < 3; ++f) {
            EXPECT_EQ(run_on_buffer(L, words.data() + 15 * f, "librururev.tovoRGB(buf, 5, 3, 3, -4, 5, -6)"), "");
        }
        clip.out = bgra_bytes(words);
        return clip;
    }
};

TEST_F(RawPipes, FramesRoundTripThroughStdinAndStdout) {
    ScratchDir dir;
    const RawClip clip = raw_clip();
    write_file(dir / "in.raw", clip.in);
    const Outcome o = run_rururev({"apply", "--raw", "5x3", "-", "-", "tovoRGB", "3", "-4", "5", "-6"},
                                  dir / "in.raw");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, clip.out);
    // And between files, with more threads than frames.
    const Outcome f = run_rururev({"apply", "--raw", "5x3", "--jobs", "4", dir / "in.raw", dir / "out.raw",
                                   "tovoRGB", "3", "-4", "5", "-6"});
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(read_file(dir / "out.raw"), clip.out);
}

// A named pipe (like /dev/null) cannot be replaced by a rename: it is
// written to, and stays a pipe.
TEST_F(RawPipes, ANamedPipeIsWrittenNotReplaced) {
    ScratchDir dir;
    const RawClip clip = raw_clip();
    write_file(dir / "in.raw", clip.in);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    const Outcome o = run_shell("timeout 10 cat " + shell_quote(dir / "pipe") + " >" + shell_quote(dir / "got") +
                                " & " + shell_quote(build_dir() + "/rururev") + " apply --raw 5x3 " +
                                shell_quote(dir / "in.raw") + " " + shell_quote(dir / "pipe") +
                                " tovoRGB 3 -4 5 -6; status=$?; wait; exit $status");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read_file(dir / "got"), clip.out);
    struct stat st;
    ASSERT_EQ(stat((dir / "pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"got", "in.raw", "pipe"}));
}

TEST_F(RawPipes, AShortLastFrameIsAnErrorAfterTheFullFrames) {
    ScratchDir dir;
    const RawClip clip = raw_clip();
    write_file(dir / "in.raw", clip.in.substr(0, 60 * 2 + 7));
    for (const std::string& out : {std::string("-"), dir / "out.raw"}) {
        const Outcome o = run_rururev(
            {"apply", "--raw", "5x3", "-", out, "tovoRGB", "3", "-4", "5", "-6"}, dir / "in.raw");
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err,
                  "rururev: the last frame of stdin is short: 7 of 60 bytes; the 2 full frames "
                  "before it were written\n");
        EXPECT_EQ(out == "-" ? o.out : read_file(out), clip.out.substr(0, 120));
    }
}

// SIGTERM in the middle of a stream removes the temporary file; the older
// OUT stays and the shell sees 143.
TEST_F(RawPipes, ASignalLeavesNoTemporaryFile) {
    ScratchDir dir;
    write_file(dir / "out.raw", "old");
    const Outcome o = run_shell(
        "cd " + shell_quote(dir.path()) + " && mkfifo p || exit 1; " + shell_quote(build_dir() + "/rururev") +
        " apply --raw 64x64 - out.raw tovoRGB 1 <p & pid=$!; exec 3>p; head -c 32768 /dev/zero >&3; n=0; "
        "while ! [ -s out.raw.tmp-* ] && [ $n -lt 200 ]; do sleep 0.05; n=$((n + 1)); done; "
        "kill -TERM $pid; wait $pid; status=$?; exec 3>&-; exit $status");
    EXPECT_EQ(o.status, 143) << o.err;
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"out.raw", "p"}));
    EXPECT_EQ(read_file(dir / "out.raw"), "old");
}

TEST_F(RawPipes, AWholeClipGoesThroughFfmpegAndBack) {
    if (run_shell("command -v ffmpeg").status != 0) SKIP_UNLESS_CI("ffmpeg is not installed");
    ScratchDir dir;
    const std::string quiet = "ffmpeg -nostdin -v error -y ";
    const std::string clip = shell_quote(dir / "clip.mkv");
    const std::string out = shell_quote(dir / "out.mkv");
    Outcome o = run_shell(quiet + "-f lavfi -i testsrc=size=32x24:rate=5 -frames:v 4 -c:v ffv1 "
                                  "-pix_fmt bgra " + clip);
    ASSERT_EQ(o.status, 0) << o.err;
    // The pipeline of the README, on a lossless codec.
    o = run_shell(quiet + "-i " + clip + " -f rawvideo -pix_fmt bgra - | " +
                  shell_quote(build_dir() + "/rururev") +
                  " apply --raw 32x24 - - tovoRGB 40 0 -40 0 | " + quiet +
                  "-f rawvideo -pix_fmt bgra -s 32x24 -i - -c:v ffv1 -pix_fmt bgra " + out);
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string before = run_shell(quiet + "-i " + clip + " -f rawvideo -pix_fmt bgra -").out;
    const std::string after = run_shell(quiet + "-i " + out + " -f rawvideo -pix_fmt bgra -").out;
    ASSERT_EQ(before.size(), 4u * 32 * 24 * 4);
    ASSERT_EQ(after.size(), before.size());
    std::vector<uint32_t> words(before.size() / 4);
    std::memcpy(words.data(), before.data(), before.size());  // the tests run on little-endian
    set_buffer(words, "clip");
    run("librururev.tovoRGB(clip, 32, 24 * 4, 40, 0, -40, 0)");
    EXPECT_EQ(std::memcmp(words.data(), after.data(), after.size()), 0);
}

TEST(BadInput, DamagedPicturesLeaveNoOutputAndKeepOldOnes) {
    ScratchDir dir;
    write_file(dir / "text.png", "hello");
    write_file(dir / "kept.png", "old output");
    const struct { std::string in, out, err; } cases[] = {
        {dir / "missing.png", dir / "new.png",
         "rururev: cannot load '" + (dir / "missing.png") + "': No such file or directory\n"},
        {dir / "text.png", dir / "new.png",
         "rururev: cannot load '" + (dir / "text.png") + "': not a PNG or JPEG file\n"},
        {dir / "text.png", dir / "kept.png",
         "rururev: cannot load '" + (dir / "text.png") + "': not a PNG or JPEG file\n"},
    };
    for (const auto& c : cases) {
        const Outcome o = run_rururev({"apply", c.in, c.out, "tovoRGB", "1", "2", "3", "4"});
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, c.err);
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"kept.png", "text.png"}));
    EXPECT_EQ(read_file(dir / "kept.png"), "old output");
}

// OUT's extension chooses the file type; one apply cannot write is refused
// before anything is read or written.
TEST(Apply, OutputTypesFollowTheNameAndUnknownOnesAreRefused) {
    ScratchDir dir;
    save(dir / "in.png", varied_picture(9, 5, 8));
    const std::string in = dir / "in.png";
    const struct { std::vector<std::string> args; int status; std::string err, magic; } cases[] = {
        {{"apply", "--quality", "80", in, dir / "out.JPG", "tovoRGB", "1"}, 0, "", "\xFF\xD8\xFF"},
        {{"apply", in, dir / "out", "tovoRGB", "1"}, 0, "", "\x89PNG"},
        {{"apply", in, dir / "out.gif", "tovoRGB", "1"}, 2,
         "rururev: cannot write '" + (dir / "out.gif") + "': unknown picture type '.gif' (use .png, .jpg "
         "or .jpeg); or a video name: .mp4, .m4v, .mov, .mkv or .webm\n", ""},
    };
    for (const auto& c : cases) {
        const Outcome o = run_rururev(c.args);
        EXPECT_EQ(o.status, c.status) << c.args[c.args.size() - 3];
        EXPECT_EQ(o.err, c.err);
        if (!c.magic.empty()) {
            EXPECT_EQ(read_file(c.args[c.args.size() - 3]).substr(0, c.magic.size()), c.magic);
        }
    }
    EXPECT_EQ(load(dir / "out.JPG").width, 9u);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.png", "out", "out.JPG"}));
}

TEST(BadInput, CommandLineMistakesPrintTheFunctionsAndTheirArguments) {
    ScratchDir dir;
    save(dir / "in.png", varied_picture(2, 2, 6));
    const struct { std::vector<std::string> args; const char* first_line; } cases[] = {
        {{"apply", dir / "in.png", dir / "out.png", "tovoNope", "1"}, "rururev: unknown function 'tovoNope'"},
        {{"apply", dir / "in.png", dir / "out.png", "tovoRGB", "1", "one"},
         "rururev: tovoRGB: argument t1 must be a number, got 'one'"},
        {{"paint"}, "rururev: unknown command 'paint'"},
        {{"gallery"}, "rururev: gallery needs OUTDIR [IN.png]"},
    };
    for (const auto& c : cases) {
        const Outcome o = run_rururev(c.args);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.err.substr(0, o.err.find('\n')), c.first_line);
        for (const char* listed : {"\n  tovoRGB              t0:int t1:int t2:int t3:int\n",
                                   "\n  tovoCSplt            t0:int t1:int t2:int t3:int oc:colour "
                                   "x0:dword x1:dword y0:dword y1:dword",
                                   "\n  tovoRngPut           t0:int t1:int t2:int oc:colour chk:byte"}) {
            EXPECT_NE(o.err.find(listed), std::string::npos) << listed;
        }
    }
    EXPECT_FALSE(file_exists(dir / "out.png"));
}

TEST(BadInput, AMissingModuleIsNamed) {
    ScratchDir dir;
    const Outcome o = run_shell("RURUREV_MODULE_DIR=" + shell_quote(dir.path()) + " " +
                                shell_quote(build_dir() + "/rururev") + " run /dev/null");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err.rfind("rururev: cannot load librururev from " + dir.path() +
                              ": module 'librururev' not found",
                          0),
              0u)
        << o.err;
}

// What a folder holds, every level down: each path's mode and owner, and its
// bytes (or its kind).
using Holdings = std::map<std::string, std::pair<std::string, std::string>>;
Holdings holdings(const std::string& root) {
    Holdings all;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        struct stat st;
        lstat(e.path().c_str(), &st);
        const std::string bytes = S_ISREG(st.st_mode) ? read_file(e.path()) : S_ISDIR(st.st_mode) ? "folder" : "link";
        all[e.path().lexically_relative(root)] = {
            std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid), bytes};
    }
    return all;
}

// Each line runs in a fresh folder laid out by `setup`; afterwards only the
// files a row names as changed differ, none loses its mode or owner, and the
// new paths are exactly those it names. $R is the program, $NOBODY runs it as
// an unprivileged user.
TEST(Promises, RunsRefuseToDestroyFilesAndSayWhy) {
    const char* setup =
        "mkdir ov dd dd/d1 dd/d2 hid empty fake && chmod 777 . && for f in ov/f0 ov/f1 ov/f2 dd/d1/frame "
        "dd/d2/frame hid/f1 ro theirs ./--dd; do cp a.png $f.png; done && echo x >hid/.hidden.png && "
        "echo x >hid/._x.png && ln -s nowhere hid/zz.png && yes | head -c 480 >keep.raw && echo text >afile && "
        "chmod 444 ro.png && chmod 640 theirs.png && { chown 65534:65534 theirs.png || true; } && "
        "echo 'for i = 1, 1e9 do print(i) end' >loop.lua && echo 'return {tovoRGB = print}' >fake/librururev.lua";
    const struct { const char* line; int status; const char* message; const char* added; const char* changed; } cases[] = {
        // Outputs over inputs, two frames on one output, protected and foreign files
        {"$R apply ov 'ov/f%d.png' tovoRGB 10", 1, "the output 'ov/f1.png' of 'ov/f0.png' is the input 'ov/f1.png'", "", ""},
        {"$R apply ov ov tovoRGB 10", 0, "", "", "ov/f0.png ov/f1.png ov/f2.png"},
        {"$R apply 'dd/d%d/frame.png' ddout tovoRGB 1", 1, "'dd/d1/frame.png' and 'dd/d2/frame.png' would both be written to 'ddout/frame.png'", "", ""},
        {"$NOBODY $R apply a.png ro.png tovoRGB 1", 1, "cannot write 'ro.png': Permission denied", "", ""},
        {"$R apply a.png theirs.png tovoRGB 10", 0, "", "", "theirs.png"},
        {"$R apply --raw 4x3 keep.raw keep.raw tovoRGB 10", 0, "", "", "keep.raw"},
        // Standard streams, memory, a closed pipe
        {"$R apply --raw 4x3 - keep.raw tovoRGB 1 <&-", 1, "cannot read stdin: it was closed when rururev started", "", ""},
        {"$R apply --raw 4x3 keep.raw - tovoRGB 1 >&-", 1, "cannot write stdout: it was closed when rururev started", "", ""},
        {"$R apply --raw 4x3 keep.raw - tovoRGB 1 >>keep.raw", 1, "stdout is the input 'keep.raw'", "", ""},
        {"ulimit -v 900000; $R apply --raw 16384x16384 - - tovoRGB 1 </dev/null", 0, "", "", ""},
        {"ulimit -v 900000; head -c 9 afile | $R apply --raw 16384x16384 - - tovoRGB 1", 1, "rururev: out of memory\n", "", ""},
        {"{ timeout 20 $R run loop.lua; echo \"ended with $?\" >&2; } | head -2 >/dev/null", 0, "ended with 141", "", ""},
        // Command-line mistakes and what is checked before anything is read
        {"$R apply --curve 1:0:-10,101:-20:101 a.png c.png tovoInterRGB 100 0 256", 2, "tovoInterRGBset refused the --curve triple '1:0:-10'", "", ""},
        {"$R apply --curve 0:-10:1,100:-20:101 a.png c.png tovoInterRGB 100 0 256", 0, "", "c.png", ""},
        {"$R apply a.png - tovoRGB 1", 2, "- (stdin or stdout) carries raw video", "", ""},
        {"$R apply hid hidout tovoRGB 1", 0, "", "hidout hidout/f1.png", ""},
        {"yes | timeout 10 $R apply --raw 4x3 - empty tovoRGB 1", 1, "cannot write 'empty': Is a directory", "", ""},
        {"$R apply 'a%d%d.png' o.png tovoRGB 1", 2, "'a%d%d.png' is not a frame pattern", "", ""},
        {"$R apply 'ov/f%d.png' 'pat/%02d.png' tovoRGB 1", 0, "", "pat pat/00.png pat/01.png pat/02.png", ""},
        {"$R apply -- --dd.png o.png tovoRGB 1", 0, "", "o.png", ""},
        {"cp a.png ov/f5.png && cp a.png ov/f7.png && $R apply 'ov/f%d.png' 'g/%d.png' tovoRGB 1", 0,
         "rururev: the frames of 'ov/f%d.png' stop at 'ov/f2.png': 'ov/f3.png' is missing; 2 more from 'ov/f5.png' on were left out\n",
         "g g/0.png g/1.png g/2.png ov/f5.png ov/f7.png", ""},
        // The progress bar fits a terminal of 40 or 200 columns; without one, a summary line
        {"script -qec \"stty cols 40; $R apply ov pt tovoRGB 1\" /dev/null | tr '\\r' '\\n' | sed 's/\\x1b\\[K//g' | "
         "awk 'length > 39 {bad = 1} /3\\/3 frames/ {seen = 1} END {exit bad || !seen}'", 0, "", "pt pt/f0.png pt/f1.png pt/f2.png", ""},
        {"script -qec \"stty cols 200; $R apply ov pt tovoRGB 1\" /dev/null | tr '\\r' '\\n' | sed 's/\\x1b\\[K//g' | "
         "awk 'length > 199 {bad = 1} /^\\[########################\\] 3\\/3 frames/ {seen = 1} END {exit bad || !seen}'", 0, "", "pt pt/f0.png pt/f1.png pt/f2.png", ""},
        {"$R apply ov pt tovoRGB 1 2>e.txt; cat e.txt >&2; test \"$(wc -l <e.txt)$(tr -dc '\\r' <e.txt | wc -c)\" = 10", 0,
         "rururev: 3 frames in ", "e.txt pt pt/f0.png pt/f1.png pt/f2.png", ""},
        {"$R apply 'ov/f%d.png' y.png tovoRGB 1", 2, "'ov/f%d.png' is a sequence of frames and 'y.png' one picture's name", "", ""},
        // Help on stdout (sent to stderr here to be read), and names that look like options
        {"$R apply --help a.png o.png tovoRGB 1 >&2 2>/dev/null", 0, "usage: rururev apply", "", ""},
        {"$R run -h loop.lua >&2 2>/dev/null", 0, "usage: rururev apply", "", ""},
        {"$R preview --port 1 -h >&2 2>/dev/null", 0, "usage: rururev apply", "", ""},
        {"$R gallery --help >&2 2>/dev/null", 0, "usage: rururev apply", "", ""},
        {"$R help >&2 2>/dev/null", 0,
         "\n  tovoHSV              t0:int t1:int t2:int t3:int\n      t0 - hue shift, degrees (any; wraps round)\n", "", ""},
        {"$R --version >&2 2>/dev/null", 0, "rururev 0.1.0\nSIMD: ", "", ""},
        {"$R gallery -x", 2, "unknown option '-x' (put -- before a file name", "", ""},
        {"$R apply a.png -o.png tovoRGB 1", 2, "unknown option '-o.png'", "", ""},
        {"$R gallery -- -g nosuch.png", 1, "cannot load 'nosuch.png'", "", ""},
        // Options that would do nothing for the job, refused before IN is read
        {"$R apply --crf 20 nosuch.png o.png tovoRGB 1", 2, "--crf is for a video OUT (.mp4, .m4v, .mov, .mkv or .webm), not 'o.png'", "", ""},
        {"$R apply --lossless nosuch.png 'o%d.jpg' tovoRGB 1", 2, "--lossless is for a video OUT", "", ""},
        {"$R apply --quality 80 nosuch.png o.mp4 tovoRGB 1", 2, "--quality is for JPEG files; it does nothing for 'o.mp4'", "", ""},
        {"$R apply --png-level 3 --raw 4x3 - o.raw tovoRGB 1", 2, "--png-level is for PNG files; it does nothing for 'o.raw'", "", ""},
        {"$R apply --frames 2 nosuch.png o.png tovoRGB 1", 2, "--frames is for a video, a frame sequence or --raw; it does nothing for 'o.png'", "", ""},
        {"$R apply --frames 2 ov fr tovoRGB 1", 0, "", "fr fr/f0.png fr/f1.png", ""},
        {"$R apply --quality 80 ov fr tovoRGB 1", 2, "--quality is for JPEG files, and 'fr' gets none", "", ""},
        {"mkdir jp && cp a.png jp/x.jpg && $R apply --quality 80 jp fr tovoRGB 1", 0, "", "fr fr/x.jpg jp jp/x.jpg", ""},
        {"$R apply --frames 2 --raw 4x3 keep.raw r.raw tovoRGB 1 && test $(wc -c <r.raw) = 96", 0, "", "r.raw", ""},
        {"$R preview --port ''", 2, "--port takes a number from 0", "", ""},
        {"$R preview --port ' 123' a.png", 2, "--port takes a number from 0", "", ""},
        {"$R preview --port 65536", 2, "--port takes a number from 0", "", ""},
        {"$R run", 2, "run needs a SCRIPT", "", ""},
        {"$R run loop.lua $(seq 8000)", 2, "run takes at most", "", ""},
        {"$R gallery gx nosuch.png", 1, "cannot load 'nosuch.png': No such file or directory", "", ""},
        {"$R apply 'none%d.png' o tovoRGB 1", 1, "no frames match 'none%d.png'", "", ""},
        {"$R apply empty o tovoRGB 1", 1, "no PNG or JPEG files in the folder 'empty'", "", ""},
        {"$R apply ov afile tovoRGB 1", 1, "cannot use 'afile' as the output folder: it is a file", "", ""},
        {"$R apply a.png new/sub/o.png tovoRGB 1", 0, "", "new new/sub new/sub/o.png", ""},
        {"umask 027 && $R apply a.png u.png tovoRGB 1 && stat -c %a u.png >&2", 0, "640", "u.png", ""},
        // A name ending in '/' is a folder for one picture too; an existing name wins over a pattern;
        // a missing IN leaves no folder.
        {"$R apply a.png newdir/ tovoRGB 1", 0, "", "newdir newdir/a.png", ""},
        {"cp a.png 'a%d.png' && $R apply 'a%d.png' o.png tovoRGB 1", 0, "", "a%d.png o.png", ""},
        {"$R apply nothere.mov frames2/ tovoRGB 1", 1, "cannot load 'nothere.mov': No such file or directory", "", ""},
        {"$R apply --raw 4x3 keep.raw new/o.raw tovoRGB 1", 0, "", "new new/o.raw", ""},
        {"$R apply ov afile/sub tovoRGB 1", 1, "cannot create the folder 'afile/sub': Not a directory", "", ""},
        {"LUA_PATH='fake/?.lua' $R apply a.png o.png tovoRGB2 1", 2, "tovoRGB2 is not in this librururev", "", ""},
    };
    const std::string as_nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    ScratchDir probe;
    chmod(probe.path().c_str(), 0777);
    const bool have_nobody = run_shell(as_nobody + " sh -c 'test -x " + shell_quote(build_dir() + "/rururev") +
                                       " && test -r " + shell_quote(build_dir() + "/librururev.so") + " && touch " +
                                       shell_quote(probe / "x") + "'").status == 0;
    std::vector<std::string> skipped;
    for (const auto& c : cases) {
        const std::string line = c.line;
        // Under AddressSanitizer a limit on address space stops the program
        // before it starts.
        if (line.find("ulimit") != std::string::npos && RURUREV_UNDER_ASAN) {
            std::cout << "left to the plain build, whose run covers it: " << line << "\n";
            continue;
        }
        if (line.find("$NOBODY") != std::string::npos && !have_nobody) {
            skipped.push_back(line);
            continue;
        }
        ScratchDir dir;
        save(dir / "a.png", varied_picture(4, 4, 9));
        ASSERT_EQ(run_shell("cd " + shell_quote(dir.path()) + " && " + setup).status, 0);
        const Holdings before = holdings(dir.path());
        const Outcome o = run_shell("R=" + shell_quote(build_dir() + "/rururev") + "; NOBODY='" + as_nobody +
                                    "'; cd " + shell_quote(dir.path()) + " && " + line);
        EXPECT_EQ(o.status, c.status) << line << "\n" << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << line << "\n" << o.err;
        EXPECT_EQ(o.err.find("traceback"), std::string::npos) << line << "\n" << o.err;
        const Holdings after = holdings(dir.path());
        std::istringstream changed_words(c.changed);
        const std::set<std::string> changed{std::istream_iterator<std::string>(changed_words), {}};
        std::string added;
        for (const auto& [path, now] : after) {
            const auto was = before.find(path);
            if (was == before.end()) {
                added += (added.empty() ? "" : " ") + path;
                continue;
            }
            EXPECT_EQ(now.first, was->second.first) << line << ": mode and owner of " << path;
            EXPECT_EQ(now.second != was->second.second, changed.count(path) == 1) << line << ": " << path;
        }
        for (const auto& [path, was] : before) EXPECT_EQ(after.count(path), 1u) << line << ": lost " << path;
        EXPECT_EQ(added, c.added) << line;
    }
    if (!skipped.empty()) GTEST_SKIP() << "setpriv cannot run the program as user 65534 here: " << skipped[0];
}

TEST(Run, ScriptsGetTheirArgumentsAndBothModules) {
    ScratchDir dir;
    write_file(dir / "s.lua",
               "local a, b = ...\n"
               "local image = require 'rururev_image'\n"
               "local pic = image.new(1, 1, 0x80102030):apply(librururev.tovoRGB, 1, 1, 1, 1)\n"
               "print(a, b, arg[0] == select(1, ...) and 'no' or 'yes', #arg, "
               "string.format('%08X', pic:get(0, 0)))\n");
    const Outcome o = run_rururev({"run", dir / "s.lua", "x", "y z"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "x\ty z\tyes\t2\t81112131\n");
}

TEST(Run, LuaErrorsComeWithATraceback) {
    ScratchDir dir;
    write_file(dir / "s.lua", "local function deep() error('it broke') end\n"
                              "local function outer() deep() end\n"
                              "outer()\n");
    write_file(dir / "syntax.lua", "local = 1\n");
    const std::string s = dir / "s.lua";
    const Outcome o = run_rururev({"run", s});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "rururev: " + s + ":1: it broke\nstack traceback:\n"
                     "\t[C]: in function 'error'\n"
                     "\t" + s + ":1: in function 'deep'\n"
                     "\t" + s + ":2: in function 'outer'\n"
                     "\t" + s + ":3: in main chunk\n");
    const Outcome syntax = run_rururev({"run", dir / "syntax.lua"});
    EXPECT_EQ(syntax.status, 1);
    EXPECT_EQ(syntax.err, "rururev: " + (dir / "syntax.lua") + ":1: '<name>' expected near '='\n");
    const Outcome missing = run_rururev({"run", dir / "none.lua"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "rururev: cannot open " + (dir / "none.lua") + ": No such file or directory\n");
}

class Gallery : public LuaTest {
protected:
    // The filters of the table that this build registers, in table order.
    std::vector<std::string> registered_filters() {
        run("names = {}\n"
            "for _, f in ipairs(dofile('" RURUREV_SOURCE_DIR "/src/cli/filters.lua')) do\n"
            "  if librururev[f.name] then names[#names + 1] = f.name end\n"
            "end\n"
            "joined = table.concat(names, ' ')");
        lua_getglobal(L, "joined");
        std::istringstream in(lua_tostring(L, -1));
        lua_pop(L, 1);
        std::vector<std::string> names;
        for (std::string n; in >> n;) names.push_back(n);
        return names;
    }
};

// Each tile shows its picture at (8, 8) inside a cell of (w + 16) x (h + 64),
// widened to hold the longest name at 12 pixels a letter, four cells across,
// the original first; opaque pixels are drawn as they are.
void check_sheet(const std::string& folder, const std::vector<std::string>& names, uint32_t w,
                 uint32_t h) {
    const Raster sheet = load(folder + "/contact-sheet.png");
    std::vector<std::string> tiles = {"original"};
    tiles.insert(tiles.end(), names.begin(), names.end());
    uint32_t content_w = w;
    for (const std::string& t : tiles) content_w = std::max(content_w, static_cast<uint32_t>(12 * t.size()));
    const uint32_t cell_w = content_w + 16, cell_h = h + 64;
    const uint32_t rows = (static_cast<uint32_t>(names.size()) + 1 + 3) / 4;
    ASSERT_EQ(sheet.width, 4 * cell_w);
    ASSERT_EQ(sheet.height, rows * cell_h);
    for (size_t k = 0; k < tiles.size(); ++k) {
        const Raster pic = load(folder + "/" + tiles[k] + ".png");
        ASSERT_EQ(pic.words.size(), size_t{w} * h) << tiles[k];
        const uint32_t x0 = static_cast<uint32_t>(k % 4) * cell_w + 8;
        const uint32_t y0 = static_cast<uint32_t>(k / 4) * cell_h + 8;
        int differing = 0;
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t word = pic.words[y * w + x];
                if (word >> 24 == 255) differing += sheet.words[(y0 + y) * sheet.width + x0 + x] != word;
            }
        }
        EXPECT_EQ(differing, 0) << tiles[k];
    }
}

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The files a gallery of `names` writes.
std::vector<std::string> gallery_files(const std::vector<std::string>& names) {
    std::vector<std::string> files = {"contact-sheet.png", "original.png"};
    for (const std::string& n : names) files.push_back(n + ".png");
    std::sort(files.begin(), files.end());
    return files;
}

TEST_F(Gallery, OnePictureAndOneTilePerRegisteredFilter) {
    ScratchDir dir;
    const Outcome o = run_rururev({"gallery", dir / "g"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("contact sheet: " + (dir / "g/contact-sheet.png") + "\n"), std::string::npos);
    const std::vector<std::string> names = registered_filters();
    EXPECT_EQ(files_in(dir / "g"), gallery_files(names));
    const Raster card = load(dir / "g/original.png");
    EXPECT_EQ(card.width, 256u);
    EXPECT_EQ(card.height, 192u);
    check_sheet(dir / "g", names, 256, 192);
}

TEST_F(Gallery, TakesAPictureOfTheUsers) {
    for (const uint32_t w : {60u, 1u}) {
        ScratchDir dir;
        save(dir / "mine.png", varied_picture(w, w / 2 + 1, 7));
        const Outcome o = run_rururev({"gallery", dir / "g", dir / "mine.png"});
        ASSERT_EQ(o.status, 0) << o.err;
        const std::vector<std::string> names = registered_filters();
        EXPECT_EQ(files_in(dir / "g"), gallery_files(names));
        EXPECT_EQ(load(dir / "g/original.png").words, varied_picture(w, w / 2 + 1, 7).words);
        check_sheet(dir / "g", names, w, w / 2 + 1);
    }
}

TEST(GalleryErrors, ABadPictureIsNamed) {
    ScratchDir dir;
    write_file(dir / "bad.png", "nope");
    const Outcome o = run_rururev({"gallery", dir / "g", dir / "bad.png"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err.rfind("rururev: cannot load '" + (dir / "bad.png") + "': not a PNG or JPEG file", 0), 0u)
        << o.err;
}

}  // namespace
