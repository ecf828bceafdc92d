// rururev: librururev's filters from the command line. Applies filters or
// chains of them to PNG files, folders of frames and raw video pipes, runs
// filter scripts the way an editor hosts them, and draws the gallery.
//
// Exit status: 0 done, 1 failed (a file, a stream or a Lua error), 2 the
// command line was wrong (the usage message follows the reason).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "cli/chain.h"
#include "cli/embedded.h"
#include "cli/filter_table.h"
#include "cli/frames.h"
#include "cli/host.h"
#include "cli/progress.h"
#include "cli/raw_video.h"
#include "cli/video.h"
#include "image/picture_file.h"

namespace rururev::cli {
namespace {

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

int fail(const std::string& message) {
    std::fprintf(stderr, "rururev: %s\n", message.c_str());
    return exit_failure;
}

int usage_error(const std::string& message, const std::vector<FilterSpec>& filters) {
    if (!message.empty()) std::fprintf(stderr, "rururev: %s\n\n", message.c_str());
    std::fputs(usage_text(filters).c_str(), stderr);
    return exit_usage;
}

// Creates a folder and its missing parents.
bool make_folders(const std::string& path, std::string& error) {
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string prefix = path.substr(0, at);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "cannot create the folder '" + prefix + "': " + std::strerror(errno);
            return false;
        }
        if (at == std::string::npos) break;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "'" + path + "' is not a folder";
        return false;
    }
    return true;
}

int apply_to_files(LuaHost& host, const ApplyCommand& cmd) {
    std::vector<FramePair> frames;
    std::string error;
    if (!plan_frames(cmd.in, cmd.out, frames, error)) return fail(error);
    ProgressBar progress(frames.size() > 1 ? frames.size() : 0);
    image::SaveOptions saving;
    saving.quality = cmd.output.quality;
    for (size_t k = 0; k < frames.size(); ++k) {
        image::Raster picture;
        if (!image::load_picture(frames[k].in, picture, error) ||
            !run_chain(host, cmd.steps, picture.words.data(), picture.width, picture.height, error) ||
            !image::save_picture(frames[k].out, picture, saving, error)) {
            progress.finish();
            return fail(error);
        }
        if (frames.size() > 1) progress.update(k + 1);
    }
    progress.finish();
    return 0;
}

int apply(LuaHost& host, const std::vector<FilterSpec>& filters,
          const std::vector<std::string>& words) {
    ApplyCommand cmd;
    std::string error;
    if (!parse_apply(words, filters, cmd, error)) return usage_error(error, filters);
    for (const Step& step : cmd.steps) {
        if (!find_filter(filters, step.function)->registered) {
            return usage_error(step.function + " is not in this librururev", filters);
        }
    }
    if (!check_output_name(cmd, error)) {
        std::fprintf(stderr, "rururev: %s\n", error.c_str());
        return exit_usage;
    }
    if (!set_curve(host, cmd.curve, error)) return fail(error);
    if (writes_video(cmd)) return apply_video(host, cmd);
    if (!cmd.raw) return apply_to_files(host, cmd);
    const FrameFilter filter = [&](uint32_t* pixels, std::string& reason) {
        return run_chain(host, cmd.steps, pixels, cmd.raw_width, cmd.raw_height, reason);
    };
    if (!run_raw(cmd.in, cmd.out, cmd.raw_width, cmd.raw_height, filter, error)) return fail(error);
    return 0;
}

int run_script(LuaHost& host, const std::vector<std::string>& words,
               const std::vector<FilterSpec>& filters) {
    if (words.empty()) return usage_error("run needs a SCRIPT", filters);
    std::string error;
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (!host.run_file(words[0], args, error)) return fail(error);
    return 0;
}

int gallery(LuaHost& host, const std::vector<std::string>& words,
            const std::vector<FilterSpec>& filters) {
    if (words.empty() || words.size() > 2) return usage_error("gallery needs OUTDIR [IN.png]", filters);
    std::string error;
    if (!make_folders(words[0], error)) return fail(error);
    if (!host.run_chunk(embedded::gallery_lua, "gallery", words, error)) return fail(error);
    return 0;
}

int main_program(const std::vector<std::string>& words) {
    LuaHost host;
    if (host.state() == nullptr) return fail("cannot create a Lua state: out of memory");
    std::string open_error;
    const bool opened = host.open(open_error);
    std::vector<FilterSpec> filters;
    std::string error;
    if (!read_filter_table(host, filters, error)) return fail(error);
    const std::string command = words.empty() ? "" : words[0];
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(usage_text(filters).c_str(), stdout);
        return 0;
    }
    if (command != "apply" && command != "run" && command != "gallery") {
        return usage_error(command.empty() ? "" : "unknown command '" + command + "'", filters);
    }
    if (!opened) return fail(open_error);
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    if (command == "apply") return apply(host, filters, rest);
    if (command == "run") return run_script(host, rest, filters);
    return gallery(host, rest, filters);
}

}  // namespace
}  // namespace rururev::cli

int main(int argc, char** argv) {
    // A closed pipe is reported as a write error instead of killing the
    // program silently.
    std::signal(SIGPIPE, SIG_IGN);
    return rururev::cli::main_program(std::vector<std::string>(argv + 1, argv + argc));
}
