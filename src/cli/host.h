// The Lua 5.1 state that rururev runs everything in, set up the way an
// editor hosts its scripts: the standard libraries, librururev loaded by
// require from the module directory, and three modules preloaded:
// rururev_image (the picture module, linked in), rururev_filters (the table of
// buffer filters) and rururev_test_card (the built-in test card).
#pragma once

#include <string>
#include <vector>

#include <lua.hpp>

namespace rururev::cli {

// Where librururev.so is looked for: $RURUREV_MODULE_DIR when set, else the
// folder of the running executable.
std::string module_directory();

// Where cmake --install puts the modules, as seen from the installed
// program; searched after module_directory().
std::string installed_module_directory();

class LuaHost {
public:
    LuaHost();
    ~LuaHost();
    LuaHost(const LuaHost&) = delete;
    LuaHost& operator=(const LuaHost&) = delete;

    lua_State* state() const { return L_; }

    // Requires librururev; false with the reason when it cannot be loaded.
    bool open(std::string& error);

    // Closes the state and opens a new one. The module's curve table and
    // frame store belong to the process, not to a state: closing the only
    // state that holds librururev unloads it, so the module loaded again
    // starts as in a fresh process.
    bool reopen(std::string& error);

    // Calls the function below `nargs` arguments on the stack under a
    // handler that adds a traceback. Leaves no results. On a Lua error
    // returns false with the message and its traceback.
    bool call(int nargs, std::string& error);

    // Pushes librururev[name], or nil when the module has no such function.
    void push_module_function(const char* name);

    // Runs a script file, or a chunk of the program's own, with `args` as
    // its ... and as the global table arg (arg[0] is the script's name).
    bool run_file(const std::string& path, const std::vector<std::string>& args, std::string& error);
    bool run_chunk(const char* code, const char* name, const std::vector<std::string>& args,
                   std::string& error);

private:
    void start();
    bool run_loaded(const std::string& name, const std::vector<std::string>& args, std::string& error);

    lua_State* L_ = nullptr;
};

}  // namespace rururev::cli
