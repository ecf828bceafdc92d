// The rururev program's command-line pieces: numbers, curve points, frame
// sizes, apply chains, frame names and order, and the progress line.
#include <algorithm>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/chain.h"
#include "image/frames.h"
#include "cli/progress.h"
#include "cli/raw_video.h"

using namespace rururev::cli;
using namespace rururev::image;

namespace {

TEST(CommandLine, NumbersReadAsLuaReadsThem) {
    const struct { const char* text; bool ok; double value; } cases[] = {
        {"12", true, 12},       {"-12.5", true, -12.5},   {"0x10", true, 16},
        {"0xFF0000", true, 16711680}, {" 7 ", true, 7},   {"1e3", true, 1000},
        {"", false, 0},         {"abc", false, 0},        {"12abc", false, 0},
        {"1,5", false, 0},      {"true", false, 0},       {"--5", false, 0},
    };
    for (const auto& c : cases) {
        double value = -1;
        EXPECT_EQ(parse_number(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(CommandLine, CurvePointsAreTriples) {
    std::vector<CurvePoint> points;
    ASSERT_TRUE(parse_curve("1:0:-10,2.5:-3:101", points));
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1].x, 2.5);
    EXPECT_EQ(points[1].y, -3);
    EXPECT_EQ(points[1].idx, 101);
    for (const char* bad : {"", "1:2", "1:2:3:4", "1:2:3,", "a:1:2", "1:2:3,,4:5:6"}) {
        std::vector<CurvePoint> ignored;
        EXPECT_FALSE(parse_curve(bad, ignored)) << bad;
    }
}

TEST(CommandLine, FrameSizesAreBoundedByThePixelLimit) {
    const struct { const char* text; bool ok; uint32_t w, h; } cases[] = {
        {"1920x1080", true, 1920, 1080}, {"1x1", true, 1, 1},
        {"16384x16384", true, 16384, 16384},  // exactly 2^28 pixels
        {"16385x16384", false, 0, 0},    {"0x10", false, 0, 0},
        {"10x0", false, 0, 0},           {"10", false, 0, 0},
        {"10x", false, 0, 0},            {"x10", false, 0, 0},
        {"-1x10", false, 0, 0},          {"10x10x10", false, 0, 0},
        {"4294967297x1", false, 0, 0},   {"1.5x2", false, 0, 0},
    };
    for (const auto& c : cases) {
        uint32_t w = 0, h = 0;
        EXPECT_EQ(parse_frame_size(c.text, w, h), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.w, c.h)) << c.text;
        }
    }
}

std::vector<FilterSpec> some_filters() {
    std::vector<FilterSpec> filters(2);
    filters[0].name = "tovoRGB";
    parse_params("t0:int t1:int t2:int t3:int", filters[0].params);
    filters[1].name = "tovoMono";
    parse_params("t0:int t1:int t2:int t3:int t4:bool", filters[1].params);
    return filters;
}

std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

TEST(CommandLine, ApplyChainsParseIntoSteps) {
    ApplyCommand cmd;
    std::string error;
    ASSERT_TRUE(parse_apply(words_of("--curve 1:2:3 --raw 4x2 --png-level 9 --jobs 3 - out.raw tovoRGB 1 -2 0x10 + "
                                     "tovoMono 0 0 0 5 true + tovoRGB"),
                            some_filters(), cmd, error))
        << error;
    EXPECT_TRUE(cmd.raw);
    EXPECT_EQ(cmd.raw_width, 4u);
    EXPECT_EQ(cmd.raw_height, 2u);
    EXPECT_EQ(cmd.curve.size(), 1u);
    EXPECT_EQ(cmd.png_level, 9);
    EXPECT_EQ(cmd.jobs, 3u);
    EXPECT_EQ(cmd.in, "-");
    EXPECT_EQ(cmd.out, "out.raw");
    ASSERT_EQ(cmd.steps.size(), 3u);
    EXPECT_EQ(cmd.steps[0].function, "tovoRGB");
    ASSERT_EQ(cmd.steps[0].args.size(), 3u);
    EXPECT_EQ(cmd.steps[0].args[1].number, -2);
    EXPECT_EQ(cmd.steps[0].args[2].number, 16);
    ASSERT_EQ(cmd.steps[1].args.size(), 5u);
    EXPECT_TRUE(cmd.steps[1].args[4].is_bool);
    EXPECT_TRUE(cmd.steps[1].args[4].truth);
    EXPECT_TRUE(cmd.steps[2].args.empty());

    // Quoted encoder options stay whole words, as the shell would keep them.
    ApplyCommand video;
    ASSERT_TRUE(parse_apply({"--encoder-options", "-metadata title=\"My Film\" -x 'a \"b' c\\ d \"\"", "in.mp4",
                             "out.mkv", "tovoRGB"},
                            some_filters(), video, error))
        << error;
    EXPECT_EQ(video.output.encoder_options,
              (std::vector<std::string>{"-metadata", "title=My Film", "-x", "a \"b", "c d", ""}));
}

TEST(CommandLine, BadApplyLinesSayWhatIsWrong) {
    const struct { const char* line; const char* error; } cases[] = {
        {"in.png out.png", "apply needs IN, OUT and a FUNCTION"},
        {"in.png out.png tovoHue 1", "unknown function 'tovoHue'"},
        {"in.png out.png tovoRGB 1 x", "tovoRGB: argument t1 must be a number, got 'x'"},
        {"in.png out.png tovoRGB 1 2 3 4 5", "tovoRGB takes 4 arguments after data, w, h; got more"},
        {"in.png out.png tovoMono 0 0 0 0 1", "tovoMono: argument t4 must be true or false, got '1'"},
        {"in.png out.png tovoRGB +", "a FUNCTION is missing after '+'"},
        {"in.png out.png tovoRGB + + tovoRGB", "a FUNCTION is missing after '+'"},
        {"--raw 0x5 - - tovoRGB",
         "--raw takes WIDTHxHEIGHT, both from 1 and at most 268435456 pixels in all; got '0x5'"},
        {"--curve 1:2 a b tovoRGB", "--curve takes X:Y:IDX triples separated by commas; got '1:2'"},
        {"--raw", "--raw needs a value"},
        {"--fast a b tovoRGB", "unknown option '--fast'"},
        {"--png-level 10 a b tovoRGB", "--png-level takes a whole number from 0 to 9; got '10'"},
        {"--png-level -1 a b tovoRGB", "--png-level takes a whole number from 0 to 9; got '-1'"},
        {"--jobs 0 a b tovoRGB", "--jobs takes a whole number from 1 to 64; got '0'"},
        {"--jobs 2x a b tovoRGB", "--jobs takes a whole number from 1 to 64; got '2x'"},
        // Whole-number options take decimal digits alone, whatever Lua would read.
        {"--jobs 0x4 a b tovoRGB", "--jobs takes a whole number from 1 to 64; got '0x4'"},
        {"--quality 0x5A a b tovoRGB", "--quality takes a whole number from 1 to 100; got '0x5A'"},
        {"--crf 1e1 a b tovoRGB", "--crf takes a whole number from 0 to 63; got '1e1'"},
        {"--frames 99999999999999999999 a b tovoRGB", "--frames takes a whole number from 1; got '99999999999999999999'"},
        {"--jobs", "--jobs needs a value"},
        {"--encoder-options 'x a b tovoRGB", "--encoder-options has an unclosed quote; got ''x'"},
        {"-x.png b tovoRGB", "unknown option '-x.png' (put -- before a file name that starts with -)"},
    };
    for (const auto& c : cases) {
        ApplyCommand cmd;
        std::string error;
        EXPECT_FALSE(parse_apply(words_of(c.line), some_filters(), cmd, error)) << c.line;
        EXPECT_EQ(error, c.error) << c.line;
    }
}

TEST(CommandLine, ParameterListsNeedKnownTypes) {
    std::vector<Param> params;
    EXPECT_TRUE(parse_params("t0:int x0:dword oc:colour chk:byte g:float b:bool", params));
    EXPECT_EQ(params.size(), 6u);
    EXPECT_EQ(params[2].type, "colour");
    for (const char* bad : {"t0", "t0:integer", ":int", "t0:int t1"}) {
        EXPECT_FALSE(parse_params(bad, params)) << bad;
    }
}

TEST(Frames, PatternsHoldOneNumber) {
    const struct { const char* pattern; bool ok; const char* frame7; } cases[] = {
        {"f%d.png", true, "f7.png"},
        {"f%04d.png", true, "f0007.png"},
        {"f%3d.png", true, "f  7.png"},
        {"100%%/f%02d.png", true, "100%/f07.png"},
        {"frames/%d/%d.png", false, ""},
        {"f%s.png", false, ""},
        {"f%x.png", false, ""},
        {"f%-4d.png", false, ""},
        {"f%n.png", false, ""},
        {"f.png", false, ""},
        {"f%", false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_frame_pattern(c.pattern), c.ok) << c.pattern;
        if (c.ok) {
            EXPECT_EQ(format_frame(c.pattern, 7), c.frame7) << c.pattern;
        }
    }
}

TEST(Frames, NamesSortWithNumbersByValue) {
    std::vector<std::string> names = {"f10.png", "f9.png", "f009.png", "g1.png", "f1.png",
                                      "f100.png", "F2.png", "f2b.png", "f2a.png"};
    std::sort(names.begin(), names.end(), natural_less);
    EXPECT_EQ(names, (std::vector<std::string>{"F2.png", "f1.png", "f2a.png", "f2b.png", "f9.png",
                                               "f009.png", "f10.png", "f100.png", "g1.png"}));
}

TEST(Progress, LinesShowDoneTotalRateAndTimeLeft) {
    const struct { size_t done, total; double seconds; const char* line; } cases[] = {
        {0, 10, 0, "[........................] 0/10 frames  -- fps  --:-- left"},
        {5, 10, 2, "[############............] 5/10 frames  2.5 fps  0:02 left"},
        {1, 3, 0.5, "[########................] 1/3 frames  2.0 fps  0:01 left"},
        {10, 10, 4, "[########################] 10/10 frames  2.5 fps  0:00 left"},
        {1, 7201, 1, "[........................] 1/7201 frames  1.0 fps  2:00:00 left"},
        {42, 0, 2, "42 frames  21.0 fps"},
        {90, 70, 3, "90 frames  30.0 fps"},  // a guessed total the frames passed
    };
    for (const auto& c : cases) EXPECT_EQ(progress_line(c.done, c.total, c.seconds), c.line);
    // Narrow terminals: the bar shrinks, then goes, then the words are cut.
    const struct { size_t columns; const char* line; } narrow[] = {
        {200, "[############............] 5/10 frames  2.5 fps  0:02 left"},
        {40, "[##...] 5/10 frames  2.5 fps  0:02 left"},
        {39, "[##..] 5/10 frames  2.5 fps  0:02 left"},
        {38, "5/10 frames  2.5 fps  0:02 left"},
        {12, "5/10 frames"},
    };
    for (const auto& c : narrow) EXPECT_EQ(progress_line(5, 10, 2, c.columns), c.line) << c.columns;
    EXPECT_EQ(progress_line(42, 0, 2, 10), "42 frames");
    EXPECT_EQ(phase_line(250, "finishing the file", 65), "250 frames; finishing the file...  1:05");
    EXPECT_EQ(phase_line(250, "finishing the file", 65, 20), "250 frames; finishi");
}

TEST(RawVideo, BytesAreBlueGreenRedAlpha) {
    const unsigned char bytes[] = {0x01, 0x02, 0x03, 0x04, 0xFF, 0x00, 0x80, 0x7F};
    uint32_t words[2];
    bgra_to_words(bytes, words, 2);
    EXPECT_EQ(words[0], 0x04030201u);
    EXPECT_EQ(words[1], 0x7F8000FFu);
    unsigned char back[8];
    words_to_bgra(words, back, 2);
    EXPECT_EQ(std::memcmp(back, bytes, 8), 0);
}

}  // namespace
