// JPEG files to pixel words and back, on libjpeg-turbo.
//
// Loading takes baseline and progressive files, grey or colour (YCbCr or
// RGB); every pixel comes back opaque (alpha 255), and the picture upright
// as its EXIF orientation says. CMYK files are refused, and so are
// progressive files that code a component's AC coefficients before its DC
// ones or have more than 100 scans.
// Saving drops alpha and writes grey when every pixel is grey, colour
// otherwise. The calls mirror those of png_io.h, and like them never print,
// exit or throw: every failure is a message naming the file and the reason.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/photo_meta.h"

namespace rururev::image {

struct JpegReader;
JpegReader* jpeg_open(const char* path, uint32_t* width, uint32_t* height, char* error,
                      size_t error_size);
bool jpeg_read_pixels(JpegReader* reader, uint32_t* pixels, char* error, size_t error_size);
// The file's ICC profile, EXIF data and XMP packet (their orientation
// reset: the pixels come upright), IPTC data and chroma sampling; false
// when out of memory.
bool jpeg_metadata(JpegReader* reader, PhotoMeta& meta);
void jpeg_close(JpegReader* reader);

struct JpegOptions {
    int quality = 90;          // 1 to 100
    bool progressive = false;  // several scans, coarse to fine
};

// Writes width x height words, with the profile, EXIF data (fitted to the
// picture), XMP packet and IPTC data of `meta` when given; the file is
// replaced only once complete. A colour picture keeps the chroma sampling
// of `meta`, or is sampled 4:2:0 below quality 90 and 4:4:4 from there up.
bool jpeg_save(const char* path, uint32_t width, uint32_t height, const uint32_t* pixels,
               const JpegOptions& options, char* error, size_t error_size, const PhotoMeta* meta = nullptr);

}  // namespace rururev::image
