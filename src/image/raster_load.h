// Loading a whole picture into a Raster through a reader's calls (open,
// read_pixels, metadata, close), for each file type's C++ loader.
#pragma once

#include <new>
#include <string>
#include <vector>

#include "image/png_io.h"

namespace rururev::image {

template <typename Reader>
bool load_raster(const std::string& path, Raster& out, std::string& error,
                 Reader* (*open)(const char*, uint32_t*, uint32_t*, char*, size_t),
                 bool (*read_pixels)(Reader*, uint32_t*, char*, size_t), void (*close)(Reader*),
                 bool (*metadata)(Reader*, PhotoMeta&) = nullptr) {
    char message[512];
    uint32_t width = 0, height = 0;
    Reader* reader = open(path.c_str(), &width, &height, message, sizeof message);
    if (reader == nullptr) {
        error = message;
        return false;
    }
    std::vector<uint32_t> words;
    try {
        words.resize(size_t{width} * height);
    } catch (const std::bad_alloc&) {
        close(reader);
        error = "cannot load '" + path + "': out of memory";
        return false;
    }
    PhotoMeta meta;
    const bool read = read_pixels(reader, words.data(), message, sizeof message);
    // Keeping the metadata fails only for want of memory, and says nothing.
    const bool kept = read && (metadata == nullptr || metadata(reader, meta));
    close(reader);
    if (!kept) {
        error = read ? "cannot load '" + path + "': out of memory" : message;
        return false;
    }
    out.width = width;
    out.height = height;
    out.words = std::move(words);
    out.meta = std::move(meta);
    return true;
}

}  // namespace rururev::image
