#include "cli/filter_table.h"

#include <sstream>

namespace rururev::cli {

bool parse_params(const std::string& text, std::vector<Param>& out) {
    static const char* const types[] = {"int", "dword", "colour", "byte", "float", "bool"};
    std::istringstream words(text);
    std::string word;
    out.clear();
    while (words >> word) {
        const size_t colon = word.find(':');
        if (colon == 0 || colon == std::string::npos) return false;
        Param p{word.substr(0, colon), word.substr(colon + 1), {}};
        bool known = false;
        for (const char* t : types) known = known || p.type == t;
        if (!known) return false;
        out.push_back(p);
    }
    return true;
}

// Reads field `key` of the table on top as a string ("" when absent).
static std::string string_field(lua_State* L, const char* key) {
    lua_getfield(L, -1, key);
    const char* s = lua_tostring(L, -1);
    std::string value = s != nullptr ? s : "";
    lua_pop(L, 1);
    return value;
}

bool read_filter_table(LuaHost& host, std::vector<FilterSpec>& out, std::string& error) {
    lua_State* L = host.state();
    lua_getglobal(L, "require");
    lua_pushstring(L, "rururev_filters");
    if (!host.call(1, error)) return false;
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "loaded");
    lua_getfield(L, -1, "rururev_filters");
    out.clear();
    for (int i = 1; lua_istable(L, -1); ++i) {
        lua_rawgeti(L, -1, i);
        if (!lua_istable(L, -1)) {
            lua_pop(L, 1);
            break;
        }
        FilterSpec spec;
        spec.name = string_field(L, "name");
        spec.about = string_field(L, "about");
        const std::string params = string_field(L, "params");
        const bool parsed = parse_params(params, spec.params);
        lua_getfield(L, -1, "notes");
        for (size_t k = 0; parsed && lua_istable(L, -1) && k < spec.params.size(); ++k) {
            lua_rawgeti(L, -1, static_cast<int>(k + 1));
            const char* note = lua_tostring(L, -1);
            if (note != nullptr) spec.params[k].note = note;
            lua_pop(L, 1);
        }
        lua_pop(L, 2);
        if (spec.name.empty() || !parsed) {
            error = "rururev_filters: entry " + std::to_string(i) + " is malformed";
            lua_pop(L, 3);
            return false;
        }
        host.push_module_function(spec.name.c_str());
        spec.registered = lua_isfunction(L, -1);
        lua_pop(L, 1);
        out.push_back(spec);
    }
    lua_pop(L, 3);
    return true;
}

const FilterSpec* find_filter(const std::vector<FilterSpec>& filters, const std::string& name) {
    for (const FilterSpec& f : filters) {
        if (f.name == name) return &f;
    }
    return nullptr;
}

std::string usage_text(const std::vector<FilterSpec>& filters, bool notes) {
    std::ostringstream out;
    out << "usage: rururev apply [OPTIONS] IN OUT FUNCTION [ARGS...] [+ FUNCTION [ARGS...]]...\n"
           "       rururev run SCRIPT.lua [ARGS...]\n"
           "       rururev gallery OUTDIR [IN.png]\n"
           "       rururev preview [--port N] [IN]\n"
           "       rururev --version\n"
           "\n"
           "IN and OUT are PNG or JPEG files, folders of frames, printf patterns such as\n"
           "frames/%04d.png, or video files (OUT .mp4, .m4v, .mov, .mkv or .webm; IN any\n"
           "video ffmpeg reads); with --raw WxH they are raw BGRA video, - for stdin or stdout.\n"
           "Options: --curve X:Y:IDX,... sets curve points with tovoInterRGBset before the\n"
           "first call; --quality N (JPEG, default 90); --png-level N (0 none, 1 fast, the\n"
           "default, 9 smallest); --jobs N (threads that read and write frames, default one\n"
           "per core); video: --crf N, --lossless (.mkv), --encoder-options \"...\" (passed\n"
           "to ffmpeg), --frames N, --sound auto|copy|encode|none. -- ends the options.\n"
           "preview serves a page on 127.0.0.1 to try filters on IN (or the test card).\n"
           "-h or --help after any command prints this; --version, the version and the\n"
           "SIMD targets of this processor.\n"
           "\n"
           "Functions and their arguments after data, w, h (bool: true or false; colour:\n"
           "a word such as 0xFF8000, red 255, green 128, blue 0):\n";
    for (const FilterSpec& f : filters) {
        std::string line = "  " + f.name;
        line.resize(22, ' ');
        for (const Param& p : f.params) line += " " + p.name + ":" + p.type;
        if (!f.registered) line += "  (not in this librururev)";
        out << line << "\n";
        for (const Param& p : f.params) {
            if (notes && !p.note.empty()) out << "      " << p.name << " - " << p.note << "\n";
        }
    }
    return out.str();
}

}  // namespace rururev::cli
