#include "image/picture_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "image/jpeg_io.h"
#include "image/raster_load.h"

namespace rururev::image {

std::string lower_extension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext;
}

PictureType picture_type_of_name(const std::string& path) {
    const std::string ext = lower_extension(path);
    if (ext == ".png") return PictureType::png;
    if (ext == ".jpg" || ext == ".jpeg") return PictureType::jpeg;
    return PictureType::none;
}

PictureType picture_type_to_save(const std::string& path) {
    return lower_extension(path).empty() ? PictureType::png : picture_type_of_name(path);
}

PictureType picture_type_of_bytes(const unsigned char* b, size_t size) {
    static const unsigned char png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(b, png_signature, 8) == 0) return PictureType::png;
    if (size >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return PictureType::jpeg;
    return PictureType::none;
}

bool is_picture_file(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    unsigned char head[8];
    const size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return picture_type_of_bytes(head, got) != PictureType::none;
}

bool is_animated_png(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    unsigned char head[8];
    bool animated = false;
    // The animation control chunk comes before the first picture data.
    if (std::fread(head, 1, 8, f) == 8 && picture_type_of_bytes(head, 8) == PictureType::png) {
        for (int chunks = 0; chunks < 64 && std::fread(head, 1, 8, f) == 8; ++chunks) {
            const long length = static_cast<long>(uint32_t{head[0]} << 24 | uint32_t{head[1]} << 16 |
                                                  uint32_t{head[2]} << 8 | head[3]);
            animated = std::memcmp(head + 4, "acTL", 4) == 0;
            if (animated || std::memcmp(head + 4, "IDAT", 4) == 0 || length < 0 ||
                std::fseek(f, length + 4, SEEK_CUR) != 0) {
                break;
            }
        }
    }
    std::fclose(f);
    return animated;
}

std::string unknown_type_reason(const std::string& path) {
    return "unknown picture type '" + lower_extension(path) + "' (use .png, .jpg or .jpeg)";
}

struct PictureReader {
    PngReader* png = nullptr;
    JpegReader* jpeg = nullptr;
};

// The type of a file from its first bytes; none with the reason when it
// cannot be read or is of no known type.
static PictureType sniff(const char* path, char* reason, size_t size) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::snprintf(reason, size, "%s", std::strerror(errno));
        return PictureType::none;
    }
    unsigned char head[8];
    const size_t got = std::fread(head, 1, sizeof head, f);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        std::snprintf(reason, size, "%s", std::strerror(err));
        return PictureType::none;
    }
    const PictureType type = picture_type_of_bytes(head, got);
    if (type == PictureType::none) std::snprintf(reason, size, "not a PNG or JPEG file");
    return type;
}

PictureReader* picture_open(const char* path, uint32_t* width, uint32_t* height, char* error,
                            size_t error_size) {
    char reason[256];
    const PictureType type = sniff(path, reason, sizeof reason);
    if (type == PictureType::none) {
        std::snprintf(error, error_size, "cannot load '%s': %s", path, reason);
        return nullptr;
    }
    auto* r = new (std::nothrow) PictureReader;
    if (r == nullptr) {
        std::snprintf(error, error_size, "cannot load '%s': out of memory", path);
        return nullptr;
    }
    if (type == PictureType::png) {
        r->png = png_open(path, width, height, error, error_size);
    } else {
        r->jpeg = jpeg_open(path, width, height, error, error_size);
    }
    if (r->png == nullptr && r->jpeg == nullptr) {
        delete r;
        return nullptr;
    }
    return r;
}

bool picture_read_pixels(PictureReader* r, uint32_t* pixels, char* error, size_t error_size) {
    return r->png != nullptr ? png_read_pixels(r->png, pixels, error, error_size)
                             : jpeg_read_pixels(r->jpeg, pixels, error, error_size);
}

bool picture_metadata(PictureReader* r, PhotoMeta& meta) {
    return r->png != nullptr ? png_metadata(r->png, meta) : jpeg_metadata(r->jpeg, meta);
}

void picture_close(PictureReader* r) {
    if (r == nullptr) return;
    png_close(r->png);
    jpeg_close(r->jpeg);
    delete r;
}

bool picture_save(const char* path, uint32_t width, uint32_t height, const uint32_t* pixels,
                  const SaveOptions& options, char* error, size_t error_size, const PhotoMeta* meta) {
    switch (picture_type_to_save(path)) {
    case PictureType::png:
        return png_save(path, width, height, pixels, error, error_size, options.png_level, meta);
    case PictureType::jpeg: {
        JpegOptions jpeg;
        jpeg.quality = options.quality;
        jpeg.progressive = options.progressive;
        return jpeg_save(path, width, height, pixels, jpeg, error, error_size, meta);
    }
    case PictureType::none: break;
    }
    std::snprintf(error, error_size, "cannot save '%s': %s", path, unknown_type_reason(path).c_str());
    return false;
}

bool load_picture(const std::string& path, Raster& out, std::string& error) {
    return load_raster(path, out, error, picture_open, picture_read_pixels, picture_close, picture_metadata);
}

bool save_picture(const std::string& path, const Raster& picture, const SaveOptions& options,
                  std::string& error) {
    char message[512];
    if (picture.words.size() != size_t{picture.width} * picture.height) {
        error = "cannot save '" + path + "': the pixels do not match the size";
        return false;
    }
    if (!picture_save(path.c_str(), picture.width, picture.height, picture.words.data(), options,
                      message, sizeof message, &picture.meta)) {
        error = message;
        return false;
    }
    return true;
}

}  // namespace rururev::image
