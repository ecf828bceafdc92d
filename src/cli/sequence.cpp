#include "cli/sequence.h"

#include <algorithm>

#include "cli/pipeline.h"
#include "cli/progress.h"
#include "image/atomic_file.h"
#include "image/picture_file.h"

namespace rururev::cli {

unsigned jobs_of(const ApplyCommand& cmd) {
    return cmd.jobs != 0 ? cmd.jobs : std::min(default_jobs(), max_jobs);
}

bool apply_sequence(LuaHost& host, const ApplyCommand& cmd, const std::vector<image::FramePair>& frames,
                    std::string& error) {
    const bool many = frames.size() > 1;
    ProgressBar progress(many ? frames.size() : 0);
    Stages stages;
    image::SaveOptions saving;
    saving.quality = cmd.output.quality;
    saving.png_level = cmd.png_level;
    const auto is_png = [&](const Frame& f) {
        return image::picture_type_to_save(frames[f.index].out) == image::PictureType::png;
    };
    stages.read = [&](Frame& f, std::string& reason) {
        return image::load_picture(frames[f.index].in, f.picture, reason) ? ReadResult::frame
                                                                           : ReadResult::failed;
    };
    stages.filter = [&](Frame& f, std::string& reason) {
        image::Raster& p = f.picture;
        return run_chain(host, cmd.steps, p.words.data(), p.width, p.height, reason);
    };
    // PNG files are compressed on the worker threads; a JPEG file is
    // compressed as it is written, in order.
    stages.encode = [&](Frame& f, std::string& reason) {
        if (!is_png(f)) return true;
        const image::Raster& p = f.picture;
        char message[600];
        if (image::png_encode(frames[f.index].out.c_str(), p.width, p.height, p.words.data(),
                              cmd.png_level, f.bytes, message, sizeof message, &p.meta)) {
            return true;
        }
        reason = message;
        return false;
    };
    stages.write = [&](Frame& f, std::string& reason) {
        const std::string& path = frames[f.index].out;
        if (!is_png(f)) return image::save_picture(path, f.picture, saving, reason);
        char message[300];
        if (image::atomic_write(path.c_str(), f.bytes.data(), f.bytes.size(), message, sizeof message)) {
            return true;
        }
        reason = "cannot save '" + path + "': " + message;
        return false;
    };
    stages.progress = [&](size_t written) {
        if (many) progress.update(written);
    };
    size_t written = 0;
    const bool ok = run_pipeline(stages, frames.size(), jobs_of(cmd), written, error);
    progress.finish(ok);
    return ok;
}

}  // namespace rururev::cli
