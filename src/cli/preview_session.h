// The preview's session: the one Lua state every request works through and
// the picture or video it shows. The page and its routes are in
// preview.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/filter_table.h"
#include "cli/host.h"
#include "image/raster.h"
#include "image/video_io.h"

namespace rururev::cli {

// The largest picture the page works on.
constexpr uint64_t max_preview_pixels = uint64_t{1} << 25;

// A video's frames, decoded in order: a frame a little later reads on, any
// other starts the decoder again near it.
struct VideoSource {
    image::VideoTools tools;
    image::VideoInfo info;
    image::VideoReader reader;
    uint64_t next = 0;      // the frame the reader gives next
    uint64_t current = 0;   // the frame in Session::original
    bool open = false;
};

// The picture and the one Lua state every request works through, one
// request at a time.
struct Session {
    LuaHost& host;
    const std::vector<FilterSpec>& filters;
    image::Raster original;
    std::shared_ptr<const std::string> original_png;  // shared by the answers that send it
    std::string input_label;
    std::string filters_json;
    bool is_video = false;
    VideoSource video;
};

// Makes frame n of a video the original; pictures have frame 0 only.
bool select_frame(Session& s, uint64_t n, std::string& error);

// A picture file, or else a video file whose frames the page can choose;
// the built-in test card when `input` is empty.
bool load_input(Session& s, const std::string& input, std::string& error);

bool encode_png(const image::Raster& picture, std::string& png, std::string& error);

}  // namespace rururev::cli
