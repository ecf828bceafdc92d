// Frames as a loop for scripts: image.frames reads the frames of a video, a
// folder or a pattern one by one, image.writer takes pictures one by one and
// makes a video (or numbered picture files) of them.
//
//   local out = image.writer("out.mp4", {like = "in.mp4"})
//   for pic, n in image.frames("in.mp4") do
//     pic:apply(librururev.tovoHSV, n % 360, 0, 0, 0)
//     out:write(pic)
//   end
//   out:close()
//
// The C++ objects behind both live in Lua userdata, built in place and
// destroyed by __gc, so a child process never outlives its object. Work that
// can fail runs in helpers that return a message; the Lua error is raised
// only once their C++ locals are gone.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "cli/frames.h"
#include "image/picture_file.h"
#include "image/picture_object.h"
#include "image/video_io.h"

namespace rururev::image {

namespace {

constexpr const char* source_type = "rururev_frames";
constexpr const char* writer_type = "rururev_writer";

int raise_text(lua_State* L, const char* message) {
    lua_pushstring(L, message);
    return lua_error(L);
}

// Runs work that may allocate: running out of memory becomes a message
// instead of an exception that would cross Lua's error jumps.
template <typename Work>
bool guarded(char* error, size_t size, Work work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        std::snprintf(error, size, "out of memory");
        return false;
    }
}

void copy_message(const std::string& text, char* error, size_t size) {
    std::snprintf(error, size, "%s", text.c_str());
}

bool is_directory(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether a single file is a picture, by its first bytes.
bool is_picture_file(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    unsigned char head[8];
    const size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return picture_type_of_bytes(head, got) != PictureType::none;
}

template <typename T>
T* new_object(lua_State* L, const char* type) {
    void* memory = lua_newuserdata(L, sizeof(T));
    T* object = new (memory) T();
    luaL_getmetatable(L, type);
    lua_setmetatable(L, -2);
    return object;
}

template <typename T>
int destroy_object(lua_State* L) {
    static_cast<T*>(lua_touserdata(L, 1))->~T();
    return 0;
}

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
    if (cli::is_frame_pattern(source) || is_directory(source) || is_picture_file(source)) {
        // Only the inputs of the plan matter; a pattern as OUT creates nothing.
        std::vector<cli::FramePair> plan;
        if (!cli::plan_frames(source, "%d", plan, message)) {
            copy_message(message, error, size);
            return false;
        }
        for (const cli::FramePair& f : plan) s->files.push_back(f.in);
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

// A whole number from 1, or 0 when absent.
lua_Number opt_count(lua_State* L, int table, const char* field) {
    lua_getfield(L, table, field);
    const lua_Number n = luaL_optnumber(L, -1, 0);
    lua_pop(L, 1);
    if (!(n >= 0 && n <= 1e15) || std::floor(n) != n) {
        luaL_error(L, "option %s must be a whole number from 1", field);
    }
    return n;
}

// What image.writer writes to.
struct FrameWriter {
    std::string path;
    bool is_video = false;
    bool closed = false;
    VideoTools tools;
    EncodeOptions encode;
    SaveOptions saving;
    VideoWriter video;
    uint64_t written = 0;
};

// The options of a writer, read while no C++ object is alive.
struct WriterOptions {
    const char* like = nullptr;
    const char* rate = nullptr;
    const char* sound = nullptr;
    bool no_sound = false;
    const char* encoder_options = nullptr;
    lua_Number crf = -1, quality = 90;
    bool lossless = false, progressive = false;
};

const char* opt_text(lua_State* L, int table, const char* field) {
    lua_getfield(L, table, field);
    const char* text = lua_isnil(L, -1) ? nullptr : luaL_checkstring(L, -1);
    lua_pop(L, 1);  // the string stays alive in the table
    return text;
}

bool opt_flag(lua_State* L, int table, const char* field) {
    lua_getfield(L, table, field);
    const bool flag = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    return flag;
}

lua_Number opt_range(lua_State* L, int table, const char* field, lua_Number fallback, lua_Number low,
                     lua_Number high) {
    lua_getfield(L, table, field);
    const lua_Number n = luaL_optnumber(L, -1, fallback);
    lua_pop(L, 1);
    if (n != fallback && (!(n >= low && n <= high) || std::floor(n) != n)) {
        luaL_error(L, "option %s must be a whole number from %d to %d", field, static_cast<int>(low),
                   static_cast<int>(high));
    }
    return n;
}

WriterOptions read_writer_options(lua_State* L, int table) {
    WriterOptions o;
    if (lua_isnoneornil(L, table)) return o;
    luaL_checktype(L, table, LUA_TTABLE);
    o.like = opt_text(L, table, "like");
    lua_getfield(L, table, "sound");
    o.no_sound = lua_isboolean(L, -1) && !lua_toboolean(L, -1);
    lua_pop(L, 1);
    if (!o.no_sound) o.sound = opt_text(L, table, "sound");
    lua_getfield(L, table, "rate");
    if (!lua_isnil(L, -1)) o.rate = luaL_checkstring(L, -1);  // a number becomes its text
    lua_pop(L, 1);
    o.encoder_options = opt_text(L, table, "encoder_options");
    o.crf = opt_range(L, table, "crf", -1, 0, 63);
    o.quality = opt_range(L, table, "quality", 90, 1, 100);
    o.lossless = opt_flag(L, table, "lossless");
    o.progressive = opt_flag(L, table, "progressive");
    return o;
}

bool open_writer(FrameWriter* w, const WriterOptions& o, char* error, size_t size) {
    std::string message;
    w->saving.quality = static_cast<int>(o.quality);
    w->saving.progressive = o.progressive;
    w->encode.crf = static_cast<int>(o.crf);
    w->encode.lossless = o.lossless;
    if (o.encoder_options != nullptr) {
        std::string words = o.encoder_options;
        for (size_t at = 0; at < words.size();) {
            const size_t start = words.find_first_not_of(" \t\n", at);
            if (start == std::string::npos) break;
            const size_t end = words.find_first_of(" \t\n", start);
            w->encode.extra.push_back(words.substr(start, end - start));
            at = end == std::string::npos ? words.size() : end;
        }
    }
    if (cli::is_frame_pattern(w->path)) {
        if (picture_type_to_save(w->path) == PictureType::none) {
            copy_message("cannot write '" + w->path + "': " + unknown_type_reason(w->path), error, size);
            return false;
        }
        return true;
    }
    w->is_video = true;
    if (!is_video_name(w->path)) {
        copy_message("cannot write '" + w->path + "': use a video name (.mp4, .m4v, .mov, .mkv or .webm) "
                     "or a frame pattern such as out/%04d.png",
                     error, size);
        return false;
    }
    if (!find_video_tools(w->tools, message)) {
        copy_message(message, error, size);
        return false;
    }
    if (o.like != nullptr) {
        VideoInfo info;
        if (!probe_video(w->tools, o.like, info, message)) {
            copy_message(message, error, size);
            return false;
        }
        w->encode.rate = info.rate;
        if (info.has_sound && o.sound == nullptr && !o.no_sound) w->encode.sound_from = o.like;
    }
    if (o.rate != nullptr) w->encode.rate = o.rate;
    if (o.sound != nullptr) w->encode.sound_from = o.sound;
    w->encode.shortest = !w->encode.sound_from.empty();
    if (!check_encode_options(w->path, w->encode, message)) {
        copy_message(message, error, size);
        return false;
    }
    return true;
}

bool write_frame(FrameWriter* w, const Picture* pic, char* error, size_t size) {
    std::string message;
    if (!w->is_video) {
        const std::string name = cli::format_frame(w->path, static_cast<unsigned long>(w->written + 1));
        if (!picture_save(name.c_str(), pic->width, pic->height, pic->pixels, w->saving, error, size)) return false;
    } else if (!w->video.is_open() && w->written == 0) {
        if (!w->video.open(w->tools, w->path, pic->width, pic->height, w->encode, message) ||
            !w->video.write(pic->pixels, message)) {
            copy_message(message, error, size);
            w->closed = true;
            return false;
        }
    } else if (!w->video.write(pic->pixels, message)) {
        copy_message(message, error, size);
        w->closed = true;
        return false;
    }
    ++w->written;
    return true;
}

bool close_writer(FrameWriter* w, char* error, size_t size) {
    w->closed = true;
    if (!w->is_video) return true;
    std::string message;
    if (w->written == 0) {
        copy_message("cannot write '" + w->path + "': no frames were written", error, size);
        return false;
    }
    if (!w->video.close(message)) {
        copy_message(message, error, size);
        return false;
    }
    return true;
}

FrameWriter* check_writer(lua_State* L) {
    auto* w = static_cast<FrameWriter*>(luaL_checkudata(L, 1, writer_type));
    if (w->closed) luaL_error(L, "the writer of '%s' is closed", w->path.c_str());
    return w;
}

// out:write(pic): the next frame; all frames of a video have one size.
int writer_write(lua_State* L) {
    FrameWriter* w = check_writer(L);
    const Picture* pic = check_picture(L, 2);
    char error[700];
    if (!guarded(error, sizeof error, [&] { return write_frame(w, pic, error, sizeof error); })) {
        return raise_text(L, error);
    }
    lua_settop(L, 1);
    return 1;
}

// out:close(): finishes the file and puts it in place.
int writer_close(lua_State* L) {
    FrameWriter* w = check_writer(L);
    char error[700];
    if (!guarded(error, sizeof error, [&] { return close_writer(w, error, sizeof error); })) {
        return raise_text(L, error);
    }
    return 0;
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

// image.writer(path [, options]): a video or numbered pictures, frame by frame.
int writer(lua_State* L) {
    const char* path = check_path(L, 1);
    const WriterOptions options = read_writer_options(L, 2);
    auto* w = new_object<FrameWriter>(L, writer_type);
    char error[700];
    const bool opened = guarded(error, sizeof error, [&] {
        w->path = path;
        return open_writer(w, options, error, sizeof error);
    });
    if (!opened) return raise_text(L, error);
    return 1;
}

void register_frame_types(lua_State* L) {
    luaL_newmetatable(L, source_type);
    lua_pushcfunction(L, destroy_object<FrameSource>);
    lua_setfield(L, -2, "__gc");
    lua_pop(L, 1);
    luaL_newmetatable(L, writer_type);
    lua_pushcfunction(L, destroy_object<FrameWriter>);
    lua_setfield(L, -2, "__gc");
    lua_newtable(L);
    lua_pushcfunction(L, writer_write);
    lua_setfield(L, -2, "write");
    lua_pushcfunction(L, writer_close);
    lua_setfield(L, -2, "close");
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
}

}  // namespace rururev::image
