// PNG files to pixel words and back, on libpng.
//
// Loading takes 8-bit and 16-bit files of every colour type (grey, grey with
// alpha, RGB, RGBA, palette, with or without a transparency chunk) and gives
// straight-alpha words: alpha in bits 24 to 31, red 16 to 23, green 8 to 15,
// blue 0 to 7. Sixteen-bit samples are scaled to 8 bits with rounding; no
// gamma correction is applied. The picture comes upright as the orientation
// of an eXIf chunk before the pixels says, as a JPEG file's does. Saving
// writes 8-bit samples in the smallest colour type that keeps every word:
// grey when red, green and blue are equal in every pixel, without alpha
// when every alpha is 255.
//
// Every failure comes back as a message that names the file and the reason;
// nothing here prints, exits or throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/photo_meta.h"

namespace rururev::image {

// The largest picture accepted: 2^28 pixels, 1 GiB of pixel words.
constexpr uint64_t max_pixels = uint64_t{1} << 28;

// False when `file` is a regular file shorter than `least_bytes`: the
// size its header claims cannot be in it, and nothing should be allocated
// for it. Other files (pipes) cannot be measured and pass.
bool can_hold(std::FILE* file, uint64_t least_bytes);

// Loading is split in two so that the caller can allocate the pixels itself
// once the size is known. png_open reads the header, checks the size and
// gives the upright one; png_read_pixels fills width x height words, turned
// upright, and checks the rest of the file; png_close releases the reader
// whatever happened. `path` must stay valid until png_close.
struct PngReader;
PngReader* png_open(const char* path, uint32_t* width, uint32_t* height,
                    char* error, size_t error_size);
bool png_read_pixels(PngReader* reader, uint32_t* pixels, char* error, size_t error_size);
// The file's ICC profile (iCCP) and EXIF data (eXIf), orientation reset;
// false when out of memory.
bool png_metadata(PngReader* reader, PhotoMeta& meta);
void png_close(PngReader* reader);

// The compression level of saves, 0 (none) to 9 (smallest, slowest). The
// default 1 is the fast one: several times quicker than zlib's usual level
// on photos, and no larger.
constexpr int png_default_level = 1;

// Writes width x height words as an 8-bit PNG file. The file is replaced
// only when it has been written completely; on failure nothing changes.
// `meta`, when given, adds its profile, EXIF data (fitted to the picture)
// and XMP packet (an iTXt chunk); IPTC data has no place in a PNG file.
bool png_save(const char* path, uint32_t width, uint32_t height, const uint32_t* pixels,
              char* error, size_t error_size, int level = png_default_level, const PhotoMeta* meta = nullptr);

// Encodes as png_save does, into `out` instead of a file; `path` names the
// file in messages. Threads may encode at once.
bool png_encode(const char* path, uint32_t width, uint32_t height, const uint32_t* pixels,
                int level, std::vector<unsigned char>& out, char* error, size_t error_size,
                const PhotoMeta* meta = nullptr);

// Whole pictures for C++ callers.
struct Raster {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> words;
    PhotoMeta meta;  // kept from the file loaded to the file saved
};
bool load_png(const std::string& path, Raster& out, std::string& error);
bool save_png(const std::string& path, const Raster& picture, std::string& error,
              int level = png_default_level);

}  // namespace rururev::image
