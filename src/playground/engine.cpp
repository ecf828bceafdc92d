// The playground's engine: one Lua 5.1 state with librururev and
// rururev_image loaded, living as long as the WebAssembly instance, so that
// the curve table and the frame store carry from one chunk to the next as
// they do in a host. JavaScript (engine_api.js) calls the functions below.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <lua.hpp>

extern "C" int luaopen_librururev(lua_State* L);
extern "C" int luaopen_rururev_image(lua_State* L);

namespace {

lua_State* state = nullptr;
std::vector<std::string> args;
std::string output;
std::string error;

// print as Lua's own, into the engine's output instead of stdout.
int collect_print(lua_State* L) {
    const int n = lua_gettop(L);
    lua_getglobal(L, "tostring");
    for (int i = 1; i <= n; i++) {
        lua_pushvalue(L, -1);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        size_t len = 0;
        const char* s = lua_tolstring(L, -1, &len);
        if (s == nullptr) return luaL_error(L, "'tostring' must return a string to 'print'");
        if (i > 1) output += '\t';
        output.append(s, len);
        lua_pop(L, 1);
    }
    output += '\n';
    return 0;
}

bool open_state() {
    if (state != nullptr) return true;
    lua_State* L = luaL_newstate();
    if (L == nullptr) {
        error = "cannot create a Lua state: out of memory";
        return false;
    }
    luaL_openlibs(L);
    lua_pushcfunction(L, collect_print);
    lua_setglobal(L, "print");
    // require finds both modules, linked in, as a host finds them on its path.
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "preload");
    lua_pushcfunction(L, luaopen_librururev);
    lua_setfield(L, -2, "librururev");
    lua_pushcfunction(L, luaopen_rururev_image);
    lua_setfield(L, -2, "rururev_image");
    lua_pop(L, 2);
    static const char kLoad[] = "require 'librururev' require 'rururev_image'";
    if (luaL_loadbuffer(L, kLoad, sizeof kLoad - 1, "=engine") != 0 || lua_pcall(L, 0, 0, 0) != 0) {
        error = lua_tostring(L, -1) != nullptr ? lua_tostring(L, -1) : "cannot load the modules";
        lua_close(L);
        return false;
    }
    state = L;
    return true;
}

// The error of a failed call as a string, whatever its value.
std::string error_text(lua_State* L) {
    if (const char* s = lua_tostring(L, -1)) return s;
    return std::string("(error object is a ") + luaL_typename(L, -1) + " value)";
}

}  // namespace

extern "C" {

// The arguments of the next chunk, one at a time.
void rururev_engine_clear_args() { args.clear(); }
void rururev_engine_add_arg(const char* arg) { args.emplace_back(arg); }

// Runs `source` (`length` bytes, named `name` in its errors) with the
// arguments given since the last run as the global `arg` (arg[0] the name)
// and as `...`. Returns 0 when it ran, 1 when it failed; the output and the
// error stay readable until the next run.
int rururev_engine_run(const char* source, size_t length, const char* name) {
    output.clear();
    error.clear();
    if (!open_state()) return 1;
    lua_State* L = state;
    const int top = lua_gettop(L);
    lua_createtable(L, static_cast<int>(args.size()), 1);
    lua_pushstring(L, name);
    lua_rawseti(L, -2, 0);
    for (size_t i = 0; i < args.size(); i++) {
        lua_pushlstring(L, args[i].data(), args[i].size());
        lua_rawseti(L, -2, static_cast<int>(i + 1));
    }
    lua_setglobal(L, "arg");
    std::string chunk_name = std::string("@") + name;  // as a file of that name
    int status = luaL_loadbuffer(L, source, length, chunk_name.c_str());
    if (status == 0) {
        if (!lua_checkstack(L, static_cast<int>(args.size()) + 1)) {
            lua_settop(L, top);
            error = "too many arguments";
            return 1;
        }
        for (const std::string& a : args) lua_pushlstring(L, a.data(), a.size());
        status = lua_pcall(L, static_cast<int>(args.size()), 0, 0);
    }
    if (status != 0) error = error_text(L);
    lua_settop(L, top);
    return status == 0 ? 0 : 1;
}

// Sets the globals `data`, `w` and `h` to a buffer of w x h pixel words
// that the caller owns, as a host hands its frame to a script.
int rururev_engine_set_frame(uint32_t* data, uint32_t w, uint32_t h) {
    if (!open_state()) return 1;
    lua_pushlightuserdata(state, data);
    lua_setglobal(state, "data");
    lua_pushnumber(state, w);
    lua_setglobal(state, "w");
    lua_pushnumber(state, h);
    lua_setglobal(state, "h");
    return 0;
}

const char* rururev_engine_output() { return output.c_str(); }
size_t rururev_engine_output_length() { return output.size(); }
const char* rururev_engine_error() { return error.c_str(); }

}  // extern "C"
