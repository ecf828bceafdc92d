// The picture object of rururev_image, for the parts of the module that
// live in other files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <lua.hpp>

namespace rururev::image {

struct Picture {
    uint32_t width;
    uint32_t height;
    uint32_t* pixels;  // malloc'd; null once collected
};

// The picture at idx, or a Lua error.
Picture* check_picture(lua_State* L, int idx);

// The picture at idx (not a pseudo-index), or null when that is no picture
// or one already released; never raises an error.
Picture* to_picture(lua_State* L, int idx);

// Pushes a picture object with no pixels yet, so that __gc can always run.
Picture* push_empty_picture(lua_State* L, uint32_t width, uint32_t height);

// Allocates width x height words, left as they are; false when out of memory.
bool allocate_pixels(Picture* pic);

// The file name at idx; one with a zero byte inside would name another file.
const char* check_path(lua_State* L, int idx);

// image.frames and image.writer, and the metatables of what they return
// (frames_module.cpp, writer_module.cpp).
int frames(lua_State* L);
int writer(lua_State* L);
void register_frame_types(lua_State* L);
void register_writer_type(lua_State* L);

// The videos of image.writer that are not written: those of writers still
// open, and of writers collected unclosed, in the order they were made.
// A writer that is closed, or failed with an error, is not listed.
std::vector<std::string> unclosed_videos();

}  // namespace rururev::image
