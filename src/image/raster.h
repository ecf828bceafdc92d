// A whole picture as pixel words, the bounds every reader of picture files
// keeps, and the form of their messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/photo_meta.h"

namespace rururev::image {

// The largest picture accepted: 2^28 pixels, 1 GiB of pixel words.
constexpr uint64_t max_pixels = uint64_t{1} << 28;

// False when `file` is a regular file shorter than `least_bytes`: the
// size its header claims cannot be in it, and nothing should be allocated
// for it. Other files (pipes) cannot be measured and pass.
bool can_hold(std::FILE* file, uint64_t least_bytes);

// Writes "cannot VERB 'PATH': REASON" into error.
void cannot(char* error, size_t size, const char* verb, const char* path, const char* reason);

// Whole pictures for C++ callers.
struct Raster {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> words;
    PhotoMeta meta;  // kept from the file loaded to the file saved
};

}  // namespace rururev::image
