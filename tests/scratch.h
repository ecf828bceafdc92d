// Small helpers for tests that work with files: a temporary folder removed
// afterwards, whole-file reads and writes, and running the rururev program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under $TMPDIR (or /tmp), removed with its contents.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // The names in the folder, sorted.
    std::vector<std::string> names() const;

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);
bool make_dir(const std::string& path);

// The result of running a command.
struct Outcome {
    int status = -1;  // the exit status, or -1 when it did not exit normally
    std::string out;  // what it wrote to stdout
    std::string err;  // and to stderr
};

// Runs the built rururev with `args`, stdin read from `input_file` (or
// /dev/null when empty).
Outcome run_rururev(const std::vector<std::string>& args, const std::string& input_file = "");

// Runs a shell command line, for pipelines.
Outcome run_shell(const std::string& command);

// Quotes a word for the shell.
std::string shell_quote(const std::string& word);

// From png_io_test.cpp: the bytes of a valid 4 x 2 PNG file, and those
// bytes with another size in the header, as a file that lies about it.
std::string valid_png_bytes();
std::string with_size(std::string bytes, uint32_t width, uint32_t height);

// The build folder, where librururev.so, rururev_image.so and rururev live.
std::string build_dir();

// True when the tests run in CI (CI=true), where a test that needs a missing
// tool fails instead of skipping.
bool running_in_ci();

// True in a build under AddressSanitizer, which changes what a process's
// memory and address space say.
#define RURUREV_UNDER_ASAN false
#if defined(__SANITIZE_ADDRESS__)
#undef RURUREV_UNDER_ASAN
#define RURUREV_UNDER_ASAN true
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#undef RURUREV_UNDER_ASAN
#define RURUREV_UNDER_ASAN true
#endif
#endif

// Skips the test, saying why, or in CI fails it: what it needs must be there.
#define SKIP_UNLESS_CI(reason)                                        \
    do {                                                              \
        if (running_in_ci()) FAIL() << (reason) << " (required in CI)"; \
        GTEST_SKIP() << (reason);                                     \
    } while (0)

