#include "cli/apply.h"

#include <cstdio>

#include "cli/chain.h"
#include "cli/checks.h"
#include "cli/raw_video.h"
#include "cli/sequence.h"
#include "cli/video.h"
#include "image/frames.h"

namespace rururev::cli {

namespace {

// A picture, or the pictures of a folder or a pattern, into pictures.
int apply_to_files(LuaHost& host, const ApplyCommand& cmd) {
    std::vector<image::FramePair> frames;
    std::string error;
    if (!image::plan_frames(cmd.in, cmd.out, frames, error)) return report(error, exit_failure);
    if (!check_saved_types(cmd, frames, error)) return report(error, exit_usage);
    const std::string gap = image::pattern_gap(cmd.in);
    if (!gap.empty()) std::fprintf(stderr, "rururev: %s\n", gap.c_str());
    if (cmd.output.frames > 0 && cmd.output.frames < frames.size()) frames.resize(cmd.output.frames);
    image::NewFolders folders;
    if (!check_frame_outputs(frames, error) ||
        !image::make_output_folders(frames, error, &folders) || !apply_sequence(host, cmd, frames, error)) {
        return report(error, exit_failure);
    }
    folders.keep();
    return 0;
}

// Raw frames from a file or stdin to a file or stdout.
int apply_raw(LuaHost& host, const ApplyCommand& cmd) {
    std::string error;
    image::NewFolders folders;  // OUT's, as for pictures and videos
    if (!check_raw_streams(cmd.in, cmd.out, error) ||
        (cmd.out != "-" && !image::make_folders(image::folder_of(cmd.out), error, &folders))) {
        return report(error, exit_failure);
    }
    const FrameFilter filter = [&](uint32_t* pixels, std::string& reason) {
        return run_chain(host, cmd.steps, pixels, cmd.raw_width, cmd.raw_height, reason);
    };
    if (!run_raw(cmd.in, cmd.out, cmd.raw_width, cmd.raw_height, filter, jobs_of(cmd),
                 cmd.output.frames, error)) {
        return report(error, exit_failure);
    }
    folders.keep();
    return 0;
}

}  // namespace

int apply(LuaHost& host, const std::vector<FilterSpec>& filters, const std::vector<std::string>& words,
          int (*usage_error)(const std::string&, const std::vector<FilterSpec>&)) {
    ApplyCommand cmd;
    std::string error;
    const PlanFault fault = plan_apply(words, filters, cmd, error);
    if (fault == PlanFault::usage) return usage_error(error, filters);
    if (fault == PlanFault::output_name) return report(error, exit_usage);
    if (!set_curve(host, cmd.curve, error)) return usage_error(error, filters);
    if (cmd.writes_video || cmd.reads_video) return apply_video(host, cmd);
    if (!cmd.raw) return apply_to_files(host, cmd);
    return apply_raw(host, cmd);
}

}  // namespace rururev::cli
