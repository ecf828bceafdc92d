// Frames as a loop for scripts: image.frames reads the frames of a video, a
// folder or a pattern one by one (image.writer, in writer_module.cpp, makes
// a video of them again).
//
//   local out = image.writer("out.mp4", {like = "in.mp4"})
//   for pic, n in image.frames("in.mp4") do
//     pic:apply(librururev.tovoHSV, n % 360, 0, 0, 0)
//     out:write(pic)
//   end
//   out:close()
//
// The reader lives in a Lua userdata, built in place and destroyed by __gc,
// so the decoding process never outlives it.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>


#include "image/frames.h"
#include "image/lua_objects.h"
#include "image/picture_file.h"
#include "image/picture_object.h"
#include "image/video_io.h"

namespace rururev::image {

namespace {

constexpr const char* source_type = "rururev_frames";

// The picture the iterator last gave, when it has this size; else a new one,
// which replaces it. Null when out of memory.
Picture* frame_picture(lua_State* L, int slot, uint32_t width, uint32_t height) {
    auto* pic = static_cast<Picture*>(lua_touserdata(L, slot));
    if (pic != nullptr && pic->pixels != nullptr && pic->width == width && pic->height == height) {
        lua_pushvalue(L, slot);
        return pic;
    }
    pic = push_empty_picture(L, width, height);
    if (!allocate_pixels(pic)) return nullptr;
    lua_pushvalue(L, -1);
    lua_replace(L, slot);
    return pic;
}

// What image.frames reads from.
struct FrameSource {
    std::vector<std::string> files;  // the pictures of a folder or a pattern
    bool is_video = false;
    VideoReader video;
    VideoInfo info;
    size_t done = 0;  // frames given so far
    bool ended = false;
};

bool open_source(FrameSource* s, const char* source, uint64_t limit, char* error, size_t size) {
    std::string message;
    if (is_frame_pattern_in(source) || is_directory(source) || is_picture_file(source)) {
        // Only the inputs of the plan matter; a pattern as OUT creates nothing.
        std::vector<FramePair> plan;
        if (!plan_frames(source, "%d", plan, message)) {
            copy_message(message, error, size);
            return false;
        }
        for (const FramePair& f : plan) s->files.push_back(f.in);
        if (limit > 0 && s->files.size() > limit) s->files.resize(limit);
        return true;
    }
    VideoTools tools;
    s->is_video = true;
    if (!find_video_tools(tools, message) || !probe_video(tools, source, s->info, message) ||
        !s->video.open(tools, source, s->info, limit, message)) {
        copy_message(message, error, size);
        return false;
    }
    return true;
}

// 1 a frame, 0 the end, -1 a failure with its message.
int read_video_frame(FrameSource* s, uint32_t* pixels, char* error, size_t size) {
    int got = -1;
    guarded(error, size, [&] {
        std::string message;
        got = s->video.read(pixels, message);
        if (got < 0) copy_message(message, error, size);
        return got >= 0;
    });
    return got;
}

// The iterator: upvalue 1 the source, upvalue 2 the picture last given.
int next_frame(lua_State* L) {
    auto* s = static_cast<FrameSource*>(lua_touserdata(L, lua_upvalueindex(1)));
    if (s->ended) return 0;
    char error[700];
    const int slot = lua_upvalueindex(2);
    if (s->is_video) {
        Picture* pic = frame_picture(L, slot, s->info.width, s->info.height);
        if (pic == nullptr) {
            s->video.stop();
            s->ended = true;
            return luaL_error(L, "not enough memory for a frame");
        }
        const int got = read_video_frame(s, pic->pixels, error, sizeof error);
        if (got <= 0) {
            s->ended = true;
            if (got < 0) return raise_text(L, error);
            return 0;
        }
    } else {
        if (s->done == s->files.size()) {
            s->ended = true;
            return 0;
        }
        const char* path = s->files[s->done].c_str();
        uint32_t width = 0, height = 0;
        PictureReader* reader = picture_open(path, &width, &height, error, sizeof error);
        if (reader == nullptr) return raise_text(L, error);
        Picture* pic = frame_picture(L, slot, width, height);
        const bool ok = pic != nullptr && picture_read_pixels(reader, pic->pixels, error, sizeof error);
        picture_close(reader);
        if (pic == nullptr) return luaL_error(L, "cannot load '%s': not enough memory", path);
        if (!ok) return raise_text(L, error);
    }
    lua_pushnumber(L, static_cast<lua_Number>(++s->done));
    return 2;
}

// A whole number from 1, or 0 when absent: 0 given is refused, as the
// command line's --frames 0 is, rather than read as "every frame".
lua_Number opt_count(lua_State* L, int table, const char* field) {
    lua_getfield(L, table, field);
    const bool absent = lua_isnil(L, -1);
    const lua_Number n = absent ? 0 : lua_isnumber(L, -1) ? lua_tonumber(L, -1) : -1;
    lua_pop(L, 1);
    if (absent) return 0;
    if (!(n >= 1 && n <= 1e15) || std::floor(n) != n) {
        luaL_error(L, "option %s must be a whole number from 1", field);
    }
    return n;
}


}  // namespace

// image.frames(source [, {frames = N}]): an iterator of pic, n.
int frames(lua_State* L) {
    const char* source = check_path(L, 1);
    lua_Number limit = 0;
    if (!lua_isnoneornil(L, 2)) {
        luaL_checktype(L, 2, LUA_TTABLE);
        limit = opt_count(L, 2, "frames");
    }
    auto* s = new_object<FrameSource>(L, source_type);
    char error[700];
    const bool opened = guarded(error, sizeof error, [&] {
        return open_source(s, source, static_cast<uint64_t>(limit), error, sizeof error);
    });
    if (!opened) return raise_text(L, error);
    lua_pushnil(L);
    lua_pushcclosure(L, next_frame, 2);
    return 1;
}


void register_frame_types(lua_State* L) {
    luaL_newmetatable(L, source_type);
    lua_pushcfunction(L, destroy_object<FrameSource>);
    lua_setfield(L, -2, "__gc");
    lua_pop(L, 1);
    register_writer_type(L);
}

}  // namespace rururev::image
