#include "scratch.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/rururev-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

bool file_exists(const std::string& path) { return fs::exists(path); }

bool make_dir(const std::string& path) { return fs::create_directory(path); }

std::string shell_quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string build_dir() { return RURUREV_BUILD_DIR; }

Outcome run_shell(const std::string& command) {
    ScratchDir capture;
    const std::string line = "(" + command + ") >" + shell_quote(capture / "out") + " 2>" +
                             shell_quote(capture / "err");
    const int raw = std::system(line.c_str());
    Outcome o;
    o.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = read_file(capture / "out");
    o.err = read_file(capture / "err");
    return o;
}

Outcome run_rururev(const std::vector<std::string>& args, const std::string& input_file) {
    std::string command = shell_quote(build_dir() + "/rururev");
    for (const std::string& a : args) command += " " + shell_quote(a);
    command += " <" + shell_quote(input_file.empty() ? "/dev/null" : input_file);
    return run_shell(command);
}

bool running_in_ci() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}
