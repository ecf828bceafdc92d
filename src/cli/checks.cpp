#include "cli/checks.h"

#include <map>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "cli/guard.h"
#include "image/atomic_file.h"

namespace rururev::cli {

namespace {

using FileId = std::pair<dev_t, ino_t>;

bool file_id(const std::string& path, FileId& id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

bool replaceable(const std::string& path, std::string& error) {
    char reason[300];
    if (image::atomic_check(path.c_str(), reason, sizeof reason)) return true;
    error = "cannot write '" + path + "': " + reason;
    return false;
}

constexpr size_t several = static_cast<size_t>(-1);  // a file that is more than one input

}  // namespace

bool check_frame_outputs(const std::vector<image::FramePair>& frames, std::string& error) {
    std::map<FileId, size_t> inputs;
    for (size_t k = 0; k < frames.size(); ++k) {
        FileId id;
        if (!file_id(frames[k].in, id)) continue;  // reading it reports why
        const auto [at, fresh] = inputs.emplace(id, k);
        if (!fresh) at->second = several;
    }
    std::map<std::string, size_t> names;
    std::map<FileId, size_t> outputs;
    for (size_t k = 0; k < frames.size(); ++k) {
        const std::string& target = frames[k].out;
        size_t other = names.emplace(target, k).first->second;
        FileId id;
        if (other == k && file_id(target, id)) {
            const auto input = inputs.find(id);
            if (input != inputs.end() && input->second != k) {
                error = "the output '" + target + "' of '" + frames[k].in + "' is " +
                        (input->second == several ? std::string("an input") : "the input '" + frames[input->second].in + "'") +
                        " of this run: write the frames apart from their inputs";
                return false;
            }
            other = outputs.emplace(id, k).first->second;
        }
        if (other != k) {
            error = "'" + frames[other].in + "' and '" + frames[k].in + "' would both be written to '" +
                    target + "'";
            return false;
        }
        if (!replaceable(target, error)) return false;
    }
    return true;
}

bool check_raw_streams(const std::string& in, const std::string& out, std::string& error) {
    if (in == "-" && was_closed_at_start(STDIN_FILENO)) {
        error = "cannot read stdin: it was closed when rururev started";
        return false;
    }
    if (out != "-") return replaceable(out, error);
    if (was_closed_at_start(STDOUT_FILENO)) {
        error = "cannot write stdout: it was closed when rururev started";
        return false;
    }
    struct stat so, si;
    const bool same = fstat(STDOUT_FILENO, &so) == 0 && S_ISREG(so.st_mode) &&
                      (in == "-" ? fstat(STDIN_FILENO, &si) : stat(in.c_str(), &si)) == 0 &&
                      so.st_dev == si.st_dev && so.st_ino == si.st_ino;
    if (same) {
        error = "stdout is the input " + (in == "-" ? std::string("stdin") : "'" + in + "'") +
                ": it would read what it writes";
        return false;
    }
    return true;
}

}  // namespace rururev::cli
