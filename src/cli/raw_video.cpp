#include "cli/raw_video.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cli/pipeline.h"
#include "image/atomic_file.h"

namespace rururev::cli {

void bgra_to_words(const unsigned char* bytes, uint32_t* words, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* p = bytes + 4 * i;
        words[i] = uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
}

void words_to_bgra(const uint32_t* words, unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        unsigned char* p = bytes + 4 * i;
        p[0] = static_cast<unsigned char>(words[i]);
        p[1] = static_cast<unsigned char>(words[i] >> 8);
        p[2] = static_cast<unsigned char>(words[i] >> 16);
        p[3] = static_cast<unsigned char>(words[i] >> 24);
    }
}

namespace {

std::string stream_name(const std::string& path, const char* standard) {
    return path == "-" ? standard : "'" + path + "'";
}

// Reads up to `size` bytes, fewer only at the end of the stream.
size_t read_full(FILE* f, unsigned char* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        const size_t n = std::fread(buffer + got, 1, size - got, f);
        if (n == 0) break;
        got += n;
    }
    return got;
}

// Reads the next frame into `bytes`, which is allocated only once the first
// byte has arrived: an empty or slow stream costs no frame of memory.
size_t read_frame(FILE* f, std::vector<unsigned char>& bytes, size_t frame_size) {
    if (!bytes.empty()) return read_full(f, bytes.data(), frame_size);
    const int first = std::fgetc(f);
    if (first == EOF) return 0;
    bytes.resize(frame_size);
    bytes[0] = static_cast<unsigned char>(first);
    return 1 + read_full(f, bytes.data() + 1, frame_size - 1);
}

// The two ends of the stream and what closes them.
struct Streams {
    FILE* in = nullptr;
    FILE* out = nullptr;
    bool in_is_file = false;
    bool out_is_file = false;
    image::AtomicFile out_file;

    ~Streams() {
        if (in_is_file && in != nullptr) std::fclose(in);
        if (out_is_file && out_file.file != nullptr) image::atomic_abort(&out_file);
    }
};

bool open_streams(const std::string& in, const std::string& out, Streams& s, std::string& error) {
    if (in == "-") {
        s.in = stdin;
    } else {
        s.in = std::fopen(in.c_str(), "rb");
        if (s.in == nullptr) {
            error = "cannot read '" + in + "': " + std::strerror(errno);
            return false;
        }
        s.in_is_file = true;
    }
    if (out == "-") {
        s.out = stdout;
        return true;
    }
    char reason[300];
    if (!image::atomic_open(&s.out_file, out.c_str(), reason, sizeof reason)) {
        error = "cannot write '" + out + "': " + reason;
        return false;
    }
    s.out = s.out_file.file;
    s.out_is_file = true;
    return true;
}

// Finishes the output: flushes stdout, or puts the file in place.
bool close_output(Streams& s, const std::string& out, std::string& error) {
    if (!s.out_is_file) {
        if (std::fflush(stdout) != 0) {
            error = std::string("cannot write to stdout: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    char reason[300];
    if (!image::atomic_commit(&s.out_file, reason, sizeof reason)) {
        error = "cannot write '" + out + "': " + reason;
        return false;
    }
    return true;
}

}  // namespace

bool run_raw(const std::string& in, const std::string& out, uint32_t width, uint32_t height,
             const FrameFilter& filter, unsigned jobs, uint64_t frames, std::string& error) {
    Streams s;
    if (!open_streams(in, out, s, error)) return false;
    const size_t count = size_t{width} * height;
    size_t short_frame = SIZE_MAX;  // the index of a last frame cut short
    Stages stages;
    stages.read_in_order = true;
    stages.read = [&](Frame& f, std::string& reason) {
        // A frame's memory is taken once its first byte arrives.
        const size_t got = read_frame(s.in, f.bytes, count * 4);
        if (std::ferror(s.in)) {
            reason = "cannot read " + stream_name(in, "stdin") + ": " + std::strerror(errno);
            return ReadResult::failed;
        }
        if (got == 0) return ReadResult::end;
        if (got < f.bytes.size()) {
            short_frame = f.index;
            reason = "the last frame of " + stream_name(in, "stdin") + " is short: " + std::to_string(got) +
                     " of " + std::to_string(f.bytes.size()) + " bytes; the " + std::to_string(f.index) +
                     " full frames before it were written";
            return ReadResult::failed;
        }
        f.picture.words.resize(count);
        bgra_to_words(f.bytes.data(), f.picture.words.data(), count);
        return ReadResult::frame;
    };
    stages.filter = [&](Frame& f, std::string& reason) { return filter(f.picture.words.data(), reason); };
    stages.encode = [&](Frame& f, std::string&) {
        words_to_bgra(f.picture.words.data(), f.bytes.data(), count);
        return true;
    };
    stages.write = [&](Frame& f, std::string& reason) {
        if (std::fwrite(f.bytes.data(), 1, f.bytes.size(), s.out) == f.bytes.size()) return true;
        reason = "cannot write " + stream_name(out, "stdout") + ": " + std::strerror(errno);
        return false;
    };
    ProgressBar progress(0);
    stages.progress = [&](size_t written) { progress.update(written); };
    size_t written = 0;
    const bool ok = run_pipeline(stages, static_cast<size_t>(frames), jobs, written, error);
    progress.finish(ok);
    // The frames before a short last frame are kept, as a stream that ended.
    if (!ok && written != short_frame) return false;
    std::string close_error;
    if (!close_output(s, out, close_error)) {
        error = close_error;
        return false;
    }
    return ok;
}

}  // namespace rururev::cli
