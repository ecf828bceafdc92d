// rururev: librururev's filters from the command line. Applies filters or
// chains of them to PNG and JPEG pictures, folders and numbered sequences of
// frames, videos and raw video pipes, runs
// filter scripts the way an editor hosts them, draws the gallery, and serves
// a page that previews filters as their parameters move.
//
// Exit status: 0 done, 1 failed (a file, a stream or a Lua error), 2 the
// command line was wrong (the usage message follows the reason). Stopped by
// SIGINT, SIGTERM or SIGHUP it removes the file it was writing and ends by
// the signal, or, writing a video, returns 128 + the signal's number once
// ffmpeg has stopped (a shell sees the same status either way); the preview,
// writing nothing, ends with 0.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "cli/apply.h"
#include "cli/command.h"
#include "cli/embedded.h"
#include "cli/filter_table.h"
#include "cli/guard.h"
#include "cli/host.h"
#include "cli/preview.h"
#include "cli/simd_targets.h"
#include "image/frames.h"
#include "image/picture_file.h"
#include "image/picture_object.h"
#include "image/raster.h"

namespace rururev::cli {
namespace {

int fail(const std::string& message) { return report(message, exit_failure); }

int usage_error(const std::string& message, const std::vector<FilterSpec>& filters) {
    if (!message.empty()) std::fprintf(stderr, "rururev: %s\n\n", message.c_str());
    std::fputs(usage_text(filters).c_str(), stderr);
    return exit_usage;
}

// Says which videos of the script's writers were not written; true when
// there was one.
bool report_unclosed_videos() {
    const std::vector<std::string> paths = image::unclosed_videos();
    for (const std::string& path : paths) {
        std::fprintf(stderr, "rururev: '%s' was not written: its writer was not closed\n", path.c_str());
    }
    return !paths.empty();
}

// os.exit, saying first which videos were not written: the process ends
// without collecting the writers, whose files are removed unfinished.
int exit_reporting_unclosed(lua_State* L) {
    report_unclosed_videos();
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

int run_script(LuaHost& host, const std::vector<std::string>& words,
               const std::vector<FilterSpec>& filters) {
    if (words.empty()) return usage_error("run needs a SCRIPT", filters);
    // Each argument goes on the Lua stack, which holds about 8000 values.
    constexpr size_t max_args = LUAI_MAXCSTACK - 100;
    if (words.size() - 1 > max_args) {
        return usage_error("run takes at most " + std::to_string(max_args) + " ARGS after the SCRIPT", filters);
    }
    std::string error;
    const std::vector<std::string> args(words.begin() + 1, words.end());
    lua_State* L = host.state();
    lua_getglobal(L, "os");
    if (lua_istable(L, -1)) {
        lua_getfield(L, -1, "exit");
        lua_pushcclosure(L, exit_reporting_unclosed, 1);
        lua_setfield(L, -2, "exit");
    }
    lua_pop(L, 1);
    const bool ran = host.run_file(words[0], args, error);
    if (!ran) fail(error);
    // A video whose writer was never closed is not written: a failure.
    return report_unclosed_videos() || !ran ? exit_failure : 0;
}

int gallery(LuaHost& host, const std::vector<std::string>& words,
            const std::vector<FilterSpec>& filters) {
    if (words.empty() || words.size() > 2) return usage_error("gallery needs OUTDIR [IN.png]", filters);
    std::string error;
    image::Raster ignored;
    if (words.size() == 2 && !image::load_picture(words[1], ignored, error)) return fail(error);
    struct stat st;
    const bool created = stat(words[0].c_str(), &st) != 0;
    if (!image::make_folders(words[0], error)) return fail(error);
    if (!host.run_chunk(embedded::gallery_lua, "gallery", words, error)) {
        if (created) rmdir(words[0].c_str());  // only when still empty
        return fail(error);
    }
    return 0;
}

bool asks_for_help(const std::string& word) { return word == "-h" || word == "--help"; }

bool looks_like_option(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

// Reads a command's words up to "--" (for run only its first word: the rest
// belong to the script): -h or --help asks for the usage. For run, gallery
// and preview, any other word that starts with '-' is refused rather than
// taken as a file name, and the "--" that lets one through is dropped;
// apply's parser reads its own options and "--".
enum class Words { ok, help, bad };
Words read_option_words(const std::string& command, std::vector<std::string>& words,
                        std::string& error) {
    const size_t end = command == "run" ? std::min<size_t>(words.size(), 1) : words.size();
    for (size_t at = 0; at < end && words[at] != "--"; ++at) {
        if (asks_for_help(words[at])) return Words::help;
        if (command == "apply") continue;
        if (command == "preview" && words[at] == "--port") {
            ++at;  // its value, checked by preview
        } else if (looks_like_option(words[at])) {
            error = "unknown option '" + words[at] + "' (put -- before a file name that starts with -)";
            return Words::bad;
        }
    }
    if (command == "apply") return Words::ok;
    const auto dashes = std::find(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(end), "--");
    if (dashes != words.begin() + static_cast<std::ptrdiff_t>(end)) words.erase(dashes);
    return Words::ok;
}

// The version, and the SIMD targets the module's fast paths can take here.
int print_version() {
    std::printf("rururev %s\nSIMD: %s\n", RURUREV_VERSION, simd_targets_text().c_str());
    return 0;
}

int main_program(const std::vector<std::string>& words) {
    if (words.size() == 1 && words[0] == "--version") return print_version();
    LuaHost host;
    if (host.state() == nullptr) return fail("cannot create a Lua state: out of memory");
    std::string open_error;
    const bool opened = host.open(open_error);
    std::vector<FilterSpec> filters;
    std::string error;
    if (!read_filter_table(host, filters, error)) return fail(error);
    const std::string command = words.empty() ? "" : words[0];
    if (command == "help" || asks_for_help(command)) {
        std::fputs(usage_text(filters, true).c_str(), stdout);
        return 0;
    }
    if (command != "apply" && command != "run" && command != "gallery" && command != "preview") {
        return usage_error(command.empty() ? "" : "unknown command '" + command + "'", filters);
    }
    std::vector<std::string> rest(words.begin() + 1, words.end());
    switch (read_option_words(command, rest, error)) {
    case Words::help: std::fputs(usage_text(filters, true).c_str(), stdout); return 0;
    case Words::bad: return usage_error(error, filters);
    case Words::ok: break;
    }
    if (!opened) return fail(open_error);
    if (command == "apply") return apply(host, filters, rest, usage_error);
    if (command == "run") return run_script(host, rest, filters);
    if (command == "preview") return preview(host, filters, rest, usage_error);
    return gallery(host, rest, filters);
}

}  // namespace
}  // namespace rururev::cli

int main(int argc, char** argv) {
    using namespace rururev::cli;
    if (argc > 1 && std::strcmp(argv[1], "preview") == 0) hold_stop_signals();
    guard_standard_descriptors();
    remove_temporaries_on_signals(argc > 1 && std::strcmp(argv[1], "run") == 0);
    try {
        return main_program(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        std::fputs("rururev: out of memory\n", stderr);  // no allocation here
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rururev: internal error: %s\n", e.what());
    }
    return 1;
}
