// apply on video files and the options of what apply writes: the JPEG
// quality, and the encoder settings of a video.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/video_io.h"

namespace rururev::cli {

class LuaHost;
struct ApplyCommand;

struct OutputOptions {
    int quality = 90;                          // --quality: JPEG files
    int crf = -1;                              // --crf: video, -1 for the default
    bool lossless = false;                     // --lossless: .mkv with every word kept
    std::vector<std::string> encoder_options;  // --encoder-options "...": passed to ffmpeg
    uint64_t frames = 0;                       // --frames: stop after this many, 0 for all
    image::SoundMode sound = image::SoundMode::automatic;  // --sound: auto, copy, encode, none
};

// Reads one of the options above from words[at] on (at is past the option's
// name): 1 read, 0 not one of them, -1 a bad value (error set).
int parse_output_option(const std::string& option, const std::vector<std::string>& words,
                        size_t& at, OutputOptions& out, std::string& error);

// Whether apply makes a video: OUT has a video name.
bool writes_video(const ApplyCommand& cmd);

// Whether apply reads a video: IN is a file, and not a picture.
bool reads_video(const ApplyCommand& cmd);

// Checks that OUT names something apply can write, before any work: a
// picture type for a single picture or a pattern, a folder, or a video.
bool check_output_name(const ApplyCommand& cmd, std::string& error);

// Runs the chain over every frame of a video file, or of the pictures of a
// folder or a pattern, into a video file, or into the pictures of a folder
// or a pattern; returns the exit status, having printed any failure.
int apply_video(LuaHost& host, const ApplyCommand& cmd);

}  // namespace rururev::cli
