#include "cli/preview_session.h"

#include <cstdio>

#include "image/picture_file.h"
#include "image/picture_object.h"
#include "image/raster_load.h"

namespace rururev::cli {
namespace {

// Draws the built-in test card into a picture of rururev_image, kept in a
// global for load_test_card.
constexpr char test_card_lua[] = R"lua(
rururev_preview_card = require "rururev_test_card"()
)lua";

// Opens a picture file and refuses it, from its header, before its pixels
// are decoded when it is larger than the page works on.
image::PictureReader* open_within_limit(const char* path, uint32_t* width, uint32_t* height,
                                        char* error, size_t error_size) {
    image::PictureReader* reader = image::picture_open(path, width, height, error, error_size);
    if (reader != nullptr && uint64_t{*width} * *height > max_preview_pixels) {
        image::picture_close(reader);
        std::snprintf(error, error_size, "'%s' is too large to preview: at most %llu pixels", path,
                      static_cast<unsigned long long>(max_preview_pixels));
        return nullptr;
    }
    return reader;
}

// The built-in test card, drawn by its Lua source and copied from the
// picture object it makes.
bool load_test_card(Session& s, std::string& error) {
    if (!s.host.run_chunk(test_card_lua, "=test card", {}, error)) return false;
    lua_State* L = s.host.state();
    lua_getglobal(L, "rururev_preview_card");
    const image::Picture* card = image::to_picture(L, lua_gettop(L));
    const bool ok = card != nullptr;
    if (ok) {
        s.original.width = card->width;
        s.original.height = card->height;
        s.original.words.assign(card->pixels, card->pixels + size_t{card->width} * card->height);
    } else {
        error = "the test card is not a picture";
    }
    lua_pop(L, 1);
    lua_pushnil(L);
    lua_setglobal(L, "rururev_preview_card");
    return ok;
}

}  // namespace

bool encode_png(const image::Raster& picture, std::string& png, std::string& error) {
    std::vector<unsigned char> bytes;
    char message[300];
    if (!image::png_encode("the preview", picture.width, picture.height, picture.words.data(),
                           image::png_default_level, bytes, message, sizeof message)) {
        error = message;
        return false;
    }
    png.assign(bytes.begin(), bytes.end());
    return true;
}

namespace {

// The original as a PNG, once, for every answer that sends it.
bool encode_original(Session& s, std::string& error) {
    std::string png;
    if (!encode_png(s.original, png, error)) return false;
    s.original_png = std::make_shared<const std::string>(std::move(png));
    return true;
}

}  // namespace

// Makes frame n of a video the original; pictures have frame 0 only.
bool select_frame(Session& s, uint64_t n, std::string& error) {
    VideoSource& v = s.video;
    if (v.info.frames > 0 && n >= v.info.frames) n = v.info.frames - 1;
    if (!s.is_video || (v.open && n == v.current)) return true;
    // A frame behind, or well ahead: decode from the key frame before it.
    if (!v.open || n < v.next || n > v.next + 25) {
        v.reader.stop();
        v.open = false;  // until a decoder starts again
        if (!v.reader.open(v.tools, s.input_label, v.info, 0, error, n)) return false;
        v.open = true;
        v.next = n;
    }
    s.original.width = v.info.width;
    s.original.height = v.info.height;
    s.original.words.resize(size_t{v.info.width} * v.info.height);
    while (v.next <= n) {
        const int got = v.reader.read(s.original.words.data(), error);
        if (got != 1) {
            if (got == 0) error = "'" + s.input_label + "' has no frame " + std::to_string(n);
            v.open = false;
            return false;
        }
        ++v.next;
    }
    v.current = n;
    return encode_original(s, error);
}

// A picture file, or else a video file whose frames the page can choose.
bool load_input(Session& s, const std::string& input, std::string& error) {
    s.input_label = input;
    const std::string too_large = "'" + input + "' is too large to preview: at most " +
                                  std::to_string(max_preview_pixels) + " pixels";
    if (input.empty()) {
        if (!load_test_card(s, error)) return false;
    } else if (!image::load_raster(input, s.original, error, open_within_limit,
                                   image::picture_read_pixels, image::picture_close)) {
        std::string why;
        VideoSource& v = s.video;
        if (image::picture_type_of_name(input) != image::PictureType::none) return false;
        if (!image::find_video_tools(v.tools, why)) {
            error += "; if it is a video: " + why;
            return false;
        }
        if (!image::probe_video(v.tools, input, v.info, why)) return false;  // the picture's reason
        if (uint64_t{v.info.width} * v.info.height > max_preview_pixels) {
            error = too_large;
            return false;
        }
        s.is_video = true;
        if (!select_frame(s, 0, error)) return false;
    }
    if (uint64_t{s.original.width} * s.original.height > max_preview_pixels) {
        error = too_large;
        return false;
    }
    return s.is_video || encode_original(s, error);
}

}  // namespace rururev::cli
