// image.writer: pictures one by one into a video (through an encoding
// ffmpeg) or numbered picture files; close() finishes the file and puts it
// in place. The writer lives in a Lua userdata, built in place and
// destroyed by __gc, which kills an unfinished encoder and removes its
// temporary file.
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "image/frames.h"
#include "image/lua_objects.h"
#include "image/picture_file.h"
#include "image/picture_object.h"
#include "image/video_io.h"

namespace rururev::image {

namespace {

constexpr const char* writer_type = "rururev_writer";

// The videos of open writers (by writer) and of writers collected unclosed
// (null), for unclosed_videos; Lua states on several threads share it.
std::mutex unclosed_lock;
std::vector<std::pair<const void*, std::string>> unclosed;

void list_unclosed(const void* writer, const std::string& path) {
    const std::lock_guard<std::mutex> hold(unclosed_lock);
    unclosed.emplace_back(writer, path);
}

// Drops the writer from the list, or, when `collected`, keeps its video as unwritten.
void unlist_unclosed(const void* writer, bool collected) {
    const std::lock_guard<std::mutex> hold(unclosed_lock);
    for (auto& entry : unclosed) {
        if (entry.first != writer) continue;
        if (collected) {
            entry.first = nullptr;
        } else {
            entry = std::move(unclosed.back());
            unclosed.pop_back();
        }
        return;
    }
}

// What image.writer writes to.
struct FrameWriter {
    ~FrameWriter() {
        if (listed) unlist_unclosed(this, !closed);
    }
    // Finished or failed: its video is no longer waiting for close().
    void end() {
        closed = true;
        if (listed) unlist_unclosed(this, false);
        listed = false;
    }

    std::string path;
    bool is_video = false;
    bool closed = false;
    bool listed = false;  // in the list of unclosed videos
    VideoTools tools;
    EncodeOptions encode;
    SaveOptions saving;
    VideoWriter video;
    uint32_t width = 0, height = 0;  // of the first frame: every frame of a video has its size
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
    if (is_frame_pattern(w->path)) {
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
        encode_like(o.like, info, w->encode);
        if (o.sound != nullptr || o.no_sound) w->encode.sound_from.clear();
    }
    w->encode.sound_at_close = true;  // cut to the frames written, however many
    if (o.rate != nullptr) w->encode.rate = o.rate;
    if (o.sound != nullptr) {
        w->encode.sound_from = o.sound;
        w->encode.sound_codecs.clear();
    }
    if (!check_encode_options(w->path, w->encode, message)) {
        copy_message(message, error, size);
        return false;
    }
    return true;
}

bool write_frame(FrameWriter* w, const Picture* pic, char* error, size_t size) {
    std::string message;
    if (!w->is_video) {
        const std::string name = format_frame(w->path, static_cast<unsigned long>(w->written + 1));
        if (!picture_save(name.c_str(), pic->width, pic->height, pic->pixels, w->saving, error, size)) return false;
    } else if (w->written > 0 && (pic->width != w->width || pic->height != w->height)) {
        copy_message("cannot write '" + w->path + "': frame " + std::to_string(w->written + 1) + " is " +
                         std::to_string(pic->width) + " x " + std::to_string(pic->height) +
                         " pixels, the frames before it " + std::to_string(w->width) + " x " +
                         std::to_string(w->height),
                     error, size);
        return false;
    } else if (!w->video.is_open() && w->written == 0) {
        w->width = pic->width;
        w->height = pic->height;
        if (!w->video.open(w->tools, w->path, pic->width, pic->height, w->encode, message) ||
            !w->video.write(pic->pixels, message)) {
            copy_message(message, error, size);
            w->end();
            return false;
        }
    } else if (!w->video.write(pic->pixels, message)) {
        copy_message(message, error, size);
        w->end();
        return false;
    }
    ++w->written;
    return true;
}

bool close_writer(FrameWriter* w, char* error, size_t size) {
    w->end();
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
    if (w->is_video) {
        const bool listed = guarded(error, sizeof error, [&] {
            list_unclosed(w, w->path);
            return true;
        });
        if (!listed) return raise_text(L, error);
        w->listed = true;
    }
    return 1;
}

std::vector<std::string> unclosed_videos() {
    const std::lock_guard<std::mutex> hold(unclosed_lock);
    std::vector<std::string> paths;
    for (const auto& entry : unclosed) paths.push_back(entry.second);
    return paths;
}


void register_writer_type(lua_State* L) {
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
