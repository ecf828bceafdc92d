// Picture files of any kind the program knows: PNG and JPEG. Loading looks
// at the file's first bytes; saving goes by the name's extension, and a name
// with an unknown extension is refused before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/png_io.h"

namespace rururev::image {

enum class PictureType { none, png, jpeg };

// The extension of the last name in path, dot included, in lower case (ASCII
// letters only, whatever the locale); empty when it has none.
std::string lower_extension(const std::string& path);

// .png, or .jpg / .jpeg, in any case; none for every other name.
PictureType picture_type_of_name(const std::string& path);

// The type a picture is saved as: by the extension, PNG for a name without
// one (as every picture was saved before JPEG), none for any other.
PictureType picture_type_to_save(const std::string& path);

// The types from the first bytes of a file; none when they are neither.
PictureType picture_type_of_bytes(const unsigned char* bytes, size_t size);

// Whether a file is a picture, by its first bytes.
bool is_picture_file(const char* path);
// Whether a file is an animated PNG: a video, of which viewers of still
// pictures show the first frame.
bool is_animated_png(const char* path);

// "unknown picture type '.gif' (use .png, .jpg or .jpeg)" or the like.
std::string unknown_type_reason(const std::string& path);

struct SaveOptions {
    int quality = 90;                     // JPEG only
    bool progressive = false;             // JPEG only
    int png_level = png_default_level;    // PNG only: 0 to 9
};

// Loading in two steps, as png_open and png_read_pixels: the caller
// allocates width x height words in between. `path` must outlive the reader.
struct PictureReader;
PictureReader* picture_open(const char* path, uint32_t* width, uint32_t* height, char* error,
                            size_t error_size);
bool picture_read_pixels(PictureReader* reader, uint32_t* pixels, char* error, size_t error_size);
bool picture_metadata(PictureReader* reader, PhotoMeta& meta);
void picture_close(PictureReader* reader);

bool picture_save(const char* path, uint32_t width, uint32_t height, const uint32_t* pixels,
                  const SaveOptions& options, char* error, size_t error_size, const PhotoMeta* meta = nullptr);

// Whole pictures for C++ callers; the colour profile and EXIF data of a
// loaded picture are saved with it.
bool load_picture(const std::string& path, Raster& out, std::string& error);
bool save_picture(const std::string& path, const Raster& picture, const SaveOptions& options,
                  std::string& error);

}  // namespace rururev::image
