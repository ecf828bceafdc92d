// rururev_image: pictures for scripts that use librururev.
//
//   local image = require "rururev_image"
//   local pic = image.load("in.png")          -- or image.new(w, h [, fill])
//   pic:apply(librururev.tovoRGB, 10, 0, 0, 0) -- f(pic:data(), w, h, ...)
//   pic:save("out.png")                         -- or out.jpg, {quality = 80}
//
// A picture is a full userdata that owns w x h pixel words in the module's
// layout; its __gc frees them, so the address pic:data() hands out stays
// valid while the picture is alive. Every failure raises a Lua error.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <lua.hpp>

#include "image/picture_file.h"
#include "image/picture_object.h"
#include "lua/convert.h"
#include "lua/lua_api.h"

#if defined(_WIN32)
#define RURUREV_EXPORT extern "C" __declspec(dllexport)
#else
#define RURUREV_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace rururev::image {

constexpr const char* type_name = "rururev_image";

Picture* check_picture(lua_State* L, int idx) {
    auto* pic = static_cast<Picture*>(luaL_checkudata(L, idx, type_name));
    if (pic->pixels == nullptr) luaL_argerror(L, idx, "picture already released");
    return pic;
}

Picture* to_picture(lua_State* L, int idx) {
    auto* pic = static_cast<Picture*>(lua_touserdata(L, idx));
    if (pic == nullptr || lua_getmetatable(L, idx) == 0) return nullptr;
    luaL_getmetatable(L, type_name);
    const bool same = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
    return same && pic->pixels != nullptr ? pic : nullptr;
}

// Pushes a picture object with no pixels yet, so that __gc can always run.
Picture* push_empty_picture(lua_State* L, uint32_t width, uint32_t height) {
    auto* pic = static_cast<Picture*>(lua_newuserdata(L, sizeof(Picture)));
    pic->width = width;
    pic->height = height;
    pic->pixels = nullptr;
    luaL_getmetatable(L, type_name);
    lua_setmetatable(L, -2);
    return pic;
}

bool allocate_pixels(Picture* pic) {
    pic->pixels = static_cast<uint32_t*>(std::malloc(size_t{pic->width} * pic->height * sizeof(uint32_t)));
    return pic->pixels != nullptr;
}

// A file name; one with a zero byte inside would name another file.
const char* check_path(lua_State* L, int idx) {
    size_t length = 0;
    const char* path = luaL_checklstring(L, idx, &length);
    if (std::strlen(path) != length) luaL_argerror(L, idx, "file name contains a zero byte");
    return path;
}

namespace {

// A side of a picture: a whole number from 1 up to the pixel limit.
uint32_t check_side(lua_State* L, int idx) {
    const lua_Number n = luaL_checknumber(L, idx);
    if (!(n >= 1 && n <= static_cast<lua_Number>(max_pixels)) || std::floor(n) != n) {
        lua_pushfstring(L, "size must be a whole number from 1 to %d, got %s",
                        static_cast<int>(max_pixels), number_text(n).text);
        luaL_argerror(L, idx, lua_tostring(L, -1));
    }
    return static_cast<uint32_t>(n);
}

// A pixel word as the filters read one: truncated, then the low 32 bits (an
// integer's own low bits). A missing optional word is 0.
uint32_t word_arg(lua_State* L, int idx, bool required) {
    int64_t i;
    if (integer_at(L, idx, &i)) return static_cast<uint32_t>(static_cast<uint64_t>(i));
    return to_dword(required ? luaL_checknumber(L, idx) : luaL_optnumber(L, idx, 0));
}

// The index of pixel (x, y), arguments idx and idx + 1, or an error.
size_t check_pixel_index(lua_State* L, const Picture* pic, int idx) {
    const lua_Number x = luaL_checknumber(L, idx);
    const lua_Number y = luaL_checknumber(L, idx + 1);
    const bool inside = x >= 0 && x < pic->width && y >= 0 && y < pic->height &&
                        std::floor(x) == x && std::floor(y) == y;
    if (!inside) {
        luaL_error(L, "pixel (%s, %s) is outside the %d x %d picture", number_text(x).text,
                   number_text(y).text, static_cast<int>(pic->width),
                   static_cast<int>(pic->height));
    }
    return static_cast<size_t>(y) * pic->width + static_cast<size_t>(x);
}

int raise_message(lua_State* L, const char* message) {
    lua_pushstring(L, message);
    return lua_error(L);
}

// image.new(w, h [, fill]): a picture of w x h words, all set to fill
// (default 0, transparent black).
int new_picture(lua_State* L) {
    const uint32_t width = check_side(L, 1);
    const uint32_t height = check_side(L, 2);
    const uint32_t fill = word_arg(L, 3, false);
    if (uint64_t{width} * height > max_pixels) {
        return luaL_error(L, "a picture of %d x %d pixels is more than the limit of %d",
                          static_cast<int>(width), static_cast<int>(height),
                          static_cast<int>(max_pixels));
    }
    Picture* pic = push_empty_picture(L, width, height);
    if (!allocate_pixels(pic)) return luaL_error(L, "not enough memory for the picture");
    const size_t count = size_t{width} * height;
    for (size_t i = 0; i < count; ++i) pic->pixels[i] = fill;
    return 1;
}

// image.load(path): a PNG or JPEG file as a picture, by its first bytes.
int load(lua_State* L) {
    const char* path = check_path(L, 1);
    char error[600];
    uint32_t width = 0, height = 0;
    PictureReader* reader = picture_open(path, &width, &height, error, sizeof error);
    if (reader == nullptr) return raise_message(L, error);
    Picture* pic = push_empty_picture(L, width, height);
    bool ok = allocate_pixels(pic);
    if (!ok) std::snprintf(error, sizeof error, "cannot load '%s': not enough memory", path);
    if (ok) ok = picture_read_pixels(reader, pic->pixels, error, sizeof error);
    picture_close(reader);
    if (!ok) return raise_message(L, error);
    return 1;
}

// A whole number from lo to hi in field `name` of the options table at idx,
// or `otherwise` when the field is absent.
int opt_whole(lua_State* L, int idx, const char* name, int lo, int hi, int otherwise,
              const char* complaint) {
    lua_getfield(L, idx, name);
    const lua_Number value = luaL_optnumber(L, -1, otherwise);
    lua_pop(L, 1);
    if (!(value >= lo && value <= hi) || std::floor(value) != value) luaL_argerror(L, idx, complaint);
    return static_cast<int>(value);
}

// image.save(pic, path [, {level = 0..9, quality = 90, progressive = false}]):
// an 8-bit PNG or a JPEG, by the name's extension, replacing the file only
// once it is complete. Returns the picture.
int save(lua_State* L) {
    const Picture* pic = check_picture(L, 1);
    const char* path = check_path(L, 2);
    SaveOptions options;
    if (!lua_isnoneornil(L, 3)) {
        luaL_checktype(L, 3, LUA_TTABLE);
        options.png_level = opt_whole(L, 3, "level", 0, 9, png_default_level,
                                      "level must be a whole number from 0 to 9");
        options.quality = opt_whole(L, 3, "quality", 1, 100, options.quality,
                                    "quality must be a whole number from 1 to 100");
        lua_getfield(L, 3, "progressive");
        options.progressive = lua_toboolean(L, -1) != 0;
        lua_pop(L, 1);
    }
    char error[600];
    if (!picture_save(path, pic->width, pic->height, pic->pixels, options, error, sizeof error)) {
        return raise_message(L, error);
    }
    lua_settop(L, 1);
    return 1;
}

int width(lua_State* L) {
    push_uint32(L, check_picture(L, 1)->width);
    return 1;
}

int height(lua_State* L) {
    push_uint32(L, check_picture(L, 1)->height);
    return 1;
}

int size(lua_State* L) {
    const Picture* pic = check_picture(L, 1);
    push_uint32(L, pic->width);
    push_uint32(L, pic->height);
    return 2;
}

// pic:data(): the pixels as the light userdata the filters take.
int data(lua_State* L) {
    lua_pushlightuserdata(L, check_picture(L, 1)->pixels);
    return 1;
}

// pic:get(x, y): the word of the pixel in column x and row y, from 0.
int get(lua_State* L) {
    const Picture* pic = check_picture(L, 1);
    push_uint32(L, pic->pixels[check_pixel_index(L, pic, 2)]);
    return 1;
}

// pic:set(x, y, word)
int set(lua_State* L) {
    Picture* pic = check_picture(L, 1);
    const size_t i = check_pixel_index(L, pic, 2);
    pic->pixels[i] = word_arg(L, 4, true);
    return 0;
}

// pic:copy(): a new picture with the same pixels.
int copy(lua_State* L) {
    const Picture* pic = check_picture(L, 1);
    Picture* twin = push_empty_picture(L, pic->width, pic->height);
    if (!allocate_pixels(twin)) return luaL_error(L, "not enough memory for the copy");
    std::memcpy(twin->pixels, pic->pixels, size_t{pic->width} * pic->height * sizeof(uint32_t));
    return 1;
}

// pic:apply(f, ...): calls f(pic:data(), w, h, ...) and returns the picture,
// so that a filter always gets the picture's own size.
int apply(lua_State* L) {
    const Picture* pic = check_picture(L, 1);
    luaL_checktype(L, 2, LUA_TFUNCTION);
    const int extra = lua_gettop(L) - 2;
    lua_pushvalue(L, 2);
    lua_pushlightuserdata(L, pic->pixels);
    push_uint32(L, pic->width);
    push_uint32(L, pic->height);
    for (int i = 0; i < extra; ++i) lua_pushvalue(L, 3 + i);
    lua_call(L, 3 + extra, 0);
    lua_settop(L, 1);
    return 1;
}

int collect(lua_State* L) {
    auto* pic = static_cast<Picture*>(luaL_checkudata(L, 1, type_name));
    std::free(pic->pixels);
    pic->pixels = nullptr;
    return 0;
}

int to_string(lua_State* L) {
    const Picture* pic = check_picture(L, 1);
    lua_pushfstring(L, "rururev_image %d x %d: %p", static_cast<int>(pic->width),
                    static_cast<int>(pic->height), static_cast<void*>(pic->pixels));
    return 1;
}

const luaL_Reg functions[] = {
    {"new", new_picture}, {"load", load}, {"save", save},   {"width", width},
    {"height", height},   {"size", size}, {"data", data},   {"get", get},
    {"set", set},         {"copy", copy}, {"apply", apply}, {"frames", frames},
    {"writer", writer},   {nullptr, nullptr},
};

}  // namespace
}  // namespace rururev::image

// require "rururev_image": the table of functions, which is also the
// pictures' method table (pic:save(path) is image.save(pic, path)).
RURUREV_EXPORT int luaopen_rururev_image(lua_State* L) {
    using namespace rururev::image;
    rururev::open_library(L, "rururev_image", functions);
    rururev::push_uint32(L, static_cast<uint32_t>(max_pixels));
    lua_setfield(L, -2, "max_pixels");
    luaL_newmetatable(L, type_name);
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, collect);
    lua_setfield(L, -2, "__gc");
    lua_pushcfunction(L, to_string);
    lua_setfield(L, -2, "__tostring");
    lua_pop(L, 1);
    register_frame_types(L);
    return 1;
}
