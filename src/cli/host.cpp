#include "cli/host.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "cli/embedded.h"

extern "C" int luaopen_rururev_image(lua_State* L);

namespace rururev::cli {

// The folder of the running program, or "." when it cannot be told.
static std::string program_directory() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    const std::string exe(path, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

std::string module_directory() {
    if (const char* dir = std::getenv("RURUREV_MODULE_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    return program_directory();
}

std::string installed_module_directory() {
    const std::string dir = RURUREV_INSTALLED_CMODDIR;
    // A relative folder is taken from the program's, so an installed tree
    // may be moved as a whole.
    return !dir.empty() && dir[0] == '/' ? dir : program_directory() + "/" + dir;
}

// The error handler of every protected call: the message and a traceback.
static int add_traceback(lua_State* L) {
    if (!lua_isstring(L, 1)) return 1;  // keep a non-string error object as it is
    lua_getglobal(L, "debug");
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return 1;
    }
    lua_getfield(L, -1, "traceback");
    if (!lua_isfunction(L, -1)) {
        lua_pop(L, 2);
        return 1;
    }
    lua_pushvalue(L, 1);
    lua_pushinteger(L, 2);
    lua_call(L, 2, 1);
    return 1;
}

// Runs one of the program's own Lua sources as a module, with the arguments
// already on the stack.
template <size_t N>
static int load_embedded(lua_State* L, const char (&code)[N], const char* name, int nargs) {
    if (luaL_loadbuffer(L, code, N - 1, name) != 0) return lua_error(L);
    lua_insert(L, -1 - nargs);
    lua_call(L, nargs, 1);
    return 1;
}

// The filter table reads the module's filter list, which the program carries.
static int load_filter_table(lua_State* L) {
    lua_pushlstring(L, embedded::filter_list_inc, sizeof embedded::filter_list_inc - 1);
    return load_embedded(L, embedded::filters_lua, "=rururev_filters", 1);
}

static int load_test_card(lua_State* L) {
    return load_embedded(L, embedded::test_card_lua, "=rururev_test_card", 0);
}

LuaHost::LuaHost() { start(); }

void LuaHost::start() {
    L_ = luaL_newstate();
    if (L_ == nullptr) return;
    luaL_openlibs(L_);
    lua_getglobal(L_, "package");
    lua_getfield(L_, -1, "preload");
    lua_pushcfunction(L_, luaopen_rururev_image);
    lua_setfield(L_, -2, "rururev_image");
    lua_pushcfunction(L_, load_filter_table);
    lua_setfield(L_, -2, "rururev_filters");
    lua_pushcfunction(L_, load_test_card);
    lua_setfield(L_, -2, "rururev_test_card");
    lua_pop(L_, 1);
    // The program's own folder first, so that a build's librururev wins,
    // then the folder an installed program finds the installed module in.
    lua_getfield(L_, -1, "cpath");
    const std::string cpath = module_directory() + "/?.so;" + installed_module_directory() +
                              "/?.so;" + lua_tostring(L_, -1);
    lua_pop(L_, 1);
    lua_pushstring(L_, cpath.c_str());
    lua_setfield(L_, -2, "cpath");
    lua_pop(L_, 1);
}

LuaHost::~LuaHost() {
    if (L_ != nullptr) lua_close(L_);
}

bool LuaHost::reopen(std::string& error) {
    if (L_ != nullptr) lua_close(L_);
    start();
    return open(error);
}

bool LuaHost::open(std::string& error) {
    if (L_ == nullptr) {
        error = "cannot create a Lua state: out of memory";
        return false;
    }
    lua_getglobal(L_, "require");
    lua_pushstring(L_, "librururev");
    if (!call(1, error)) {
        error = "cannot load librururev from " + module_directory() + ": " + error;
        return false;
    }
    return true;
}

bool LuaHost::call(int nargs, std::string& error) {
    const int base = lua_gettop(L_) - nargs;  // the function's slot
    lua_pushcfunction(L_, add_traceback);
    lua_insert(L_, base);
    const int status = lua_pcall(L_, nargs, 0, base);
    if (status != 0) {
        const char* message = lua_tostring(L_, -1);
        error = message != nullptr ? message : "(error object is not a string)";
    }
    lua_settop(L_, base - 1);
    return status == 0;
}

void LuaHost::push_module_function(const char* name) {
    lua_getglobal(L_, "package");
    lua_getfield(L_, -1, "loaded");
    lua_getfield(L_, -1, "librururev");
    if (lua_istable(L_, -1)) {
        lua_getfield(L_, -1, name);
    } else {
        lua_pushnil(L_);
    }
    lua_replace(L_, -4);
    lua_pop(L_, 2);
}

bool LuaHost::run_loaded(const std::string& name, const std::vector<std::string>& args,
                         std::string& error) {
    lua_createtable(L_, static_cast<int>(args.size()), 1);
    lua_pushstring(L_, name.c_str());
    lua_rawseti(L_, -2, 0);
    for (size_t i = 0; i < args.size(); ++i) {
        lua_pushstring(L_, args[i].c_str());
        lua_rawseti(L_, -2, static_cast<int>(i + 1));
    }
    lua_setglobal(L_, "arg");
    if (!lua_checkstack(L_, static_cast<int>(args.size()) + 2)) {
        error = "too many arguments";
        return false;
    }
    for (const std::string& a : args) lua_pushstring(L_, a.c_str());
    return call(static_cast<int>(args.size()), error);
}

bool LuaHost::run_file(const std::string& path, const std::vector<std::string>& args,
                       std::string& error) {
    if (luaL_loadfile(L_, path.c_str()) != 0) {
        error = lua_tostring(L_, -1);
        lua_pop(L_, 1);
        return false;
    }
    return run_loaded(path, args, error);
}

bool LuaHost::run_chunk(const char* code, const char* name, const std::vector<std::string>& args,
                        std::string& error) {
    const std::string chunkname = std::string("=") + name;
    if (luaL_loadbuffer(L_, code, std::strlen(code), chunkname.c_str()) != 0) {
        error = lua_tostring(L_, -1);
        lua_pop(L_, 1);
        return false;
    }
    return run_loaded(name, args, error);
}

}  // namespace rururev::cli
