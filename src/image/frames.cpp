#include "image/frames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <unistd.h>
#include <sys/stat.h>

#include "image/picture_file.h"

namespace rururev::image {

namespace {

// The conversion of a pattern: where it starts and ends, its width and fill.
struct Conversion {
    size_t begin = 0, end = 0;
    int width = 0;
    bool zero = false;
};

// Finds the one %d conversion; false when there is none, more than one, or
// any other conversion.
bool find_conversion(const std::string& p, Conversion& c) {
    int found = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '%') continue;
        if (i + 1 < p.size() && p[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        const bool zero = j < p.size() && p[j] == '0';
        if (zero) ++j;
        int width = 0;
        while (j < p.size() && std::isdigit(static_cast<unsigned char>(p[j])) && width < 100) {
            width = width * 10 + (p[j++] - '0');
        }
        if (j >= p.size() || p[j] != 'd' || width >= 100) return false;
        c = {i, j + 1, width, zero};
        ++found;
        i = j;
    }
    return found == 1;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return out;
}

// A regular file, links followed: a broken link is none.
bool is_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string base_name(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool has_picture_suffix(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot != 0 && image::picture_type_of_name(name) != image::PictureType::none;
}

bool list_folder(const std::string& folder, std::vector<std::string>& names, std::string& error) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        error = "cannot read the folder '" + folder + "': " + std::strerror(errno);
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] != '.' && has_picture_suffix(name) && is_file(folder + "/" + name)) {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), natural_less);
    return true;
}

// The numbers of the existing frames of a pattern: from 0 or 1 on.
std::vector<unsigned long> pattern_numbers(const std::string& pattern) {
    std::vector<unsigned long> numbers;
    unsigned long n = exists(format_frame(pattern, 0)) ? 0 : 1;
    while (exists(format_frame(pattern, n))) numbers.push_back(n++);
    return numbers;
}

}  // namespace

bool is_directory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_frame_pattern(const std::string& pattern) {
    Conversion c;
    return find_conversion(pattern, c);
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool is_frame_pattern_in(const std::string& in) { return is_frame_pattern(in) && !exists(in); }

std::string format_frame(const std::string& pattern, unsigned long n) {
    Conversion c;
    if (!find_conversion(pattern, c)) return pattern;
    std::string digits = std::to_string(n);
    const size_t width = static_cast<size_t>(c.width);
    if (digits.size() < width) digits.insert(0, width - digits.size(), c.zero ? '0' : ' ');
    return unescape(pattern.substr(0, c.begin)) + digits + unescape(pattern.substr(c.end));
}

bool natural_less(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i]));
        const bool db = std::isdigit(static_cast<unsigned char>(b[j]));
        if (da && db) {
            // Compare the digit runs by value: skip leading zeros, then the
            // longer run is larger, then the first differing digit decides.
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0') ++si;
            while (sj + 1 < ej && b[sj] == '0') ++sj;
            if (ei - si != ej - sj) return ei - si < ej - sj;
            const int cmp = a.compare(si, ei - si, b, sj, ej - sj);
            if (cmp != 0) return cmp < 0;
            if (ei - i != ej - j) return ei - i < ej - j;  // fewer leading zeros first
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

bool check_frame_patterns(const std::string& in, const std::string& out, std::string& error) {
    const bool in_pattern = is_frame_pattern_in(in);
    if (!in_pattern && in.find('%') != std::string::npos && !exists(in)) {
        error = "'" + in + "' is not a frame pattern: use one %d, %4d or %04d, and %% for %";
        return false;
    }
    const bool sequence = in_pattern || is_directory(in);
    if (!is_frame_pattern(out) && out.find('%') != std::string::npos && sequence) {
        error = "'" + out + "' is not a frame pattern: use one %d, %4d or %04d, and %% for %";
        return false;
    }
    if (sequence && !is_frame_pattern(out) && !is_directory(out) && has_picture_suffix(base_name(out))) {
        error = "'" + in + "' is a sequence of frames and '" + out +
                "' one picture's name: give a pattern such as 'frames/%04d.png', or a folder";
        return false;
    }
    return true;
}

std::string pattern_gap(const std::string& pattern) {
    Conversion c;
    const size_t slash = pattern.rfind('/');
    const size_t name_at = slash == std::string::npos ? 0 : slash + 1;
    if (!find_conversion(pattern, c) || c.begin < name_at) return "";
    const std::vector<unsigned long> numbers = pattern_numbers(pattern);
    const unsigned long next = numbers.empty() ? 1 : numbers.back() + 1;
    const std::string prefix = unescape(pattern.substr(name_at, c.begin - name_at));
    const std::string suffix = unescape(pattern.substr(c.end));
    DIR* dir = opendir(folder_of(pattern).c_str());
    if (dir == nullptr) return "";
    unsigned long first_left = 0, left = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789 ") != std::string::npos) continue;
        const unsigned long n = std::strtoul(digits.c_str(), nullptr, 10);
        if (n <= next) continue;
        first_left = left == 0 || n < first_left ? n : first_left;
        ++left;
    }
    closedir(dir);
    if (left == 0) return "";
    return "the frames of '" + pattern + "' stop at '" + format_frame(pattern, next - 1) + "': '" +
           format_frame(pattern, next) + "' is missing; " + std::to_string(left) +
           " more from '" + format_frame(pattern, first_left) + "' on were left out";
}

bool plan_frames(const std::string& in, const std::string& out, std::vector<FramePair>& frames,
                 std::string& error) {
    frames.clear();
    if (!check_frame_patterns(in, out, error)) return false;
    const bool in_pattern = is_frame_pattern_in(in);
    const bool in_folder = !in_pattern && is_directory(in);
    const bool out_pattern = is_frame_pattern(out);
    std::vector<std::string> inputs;
    std::vector<unsigned long> numbers;
    if (in_pattern) {
        numbers = pattern_numbers(in);
        for (unsigned long n : numbers) inputs.push_back(format_frame(in, n));
        if (inputs.empty()) {
            error = "no frames match '" + in + "'";
            return false;
        }
    } else if (in_folder) {
        std::vector<std::string> names;
        if (!list_folder(in, names, error)) return false;
        if (names.empty()) {
            error = "no PNG or JPEG files in the folder '" + in + "'";
            return false;
        }
        for (size_t k = 0; k < names.size(); ++k) {
            inputs.push_back(in + "/" + names[k]);
            numbers.push_back(k + 1);
        }
    } else {
        struct stat st;
        if (stat(in.c_str(), &st) != 0) {
            error = "cannot load '" + in + "': " + std::strerror(errno);
            return false;
        }
        inputs.push_back(in);
        numbers.push_back(1);
    }
    const bool sequence = in_pattern || in_folder;
    // A name that ends in '/' is a folder, for one picture too.
    bool out_folder = !out_pattern && (is_directory(out) || (!out.empty() && out.back() == '/'));
    bool new_folder = out_pattern || !sequence;  // a single file's folder too
    if (sequence && !out_pattern && !out_folder) {
        if (exists(out)) {
            error = "cannot use '" + out + "' as the output folder: it is a file";
            return false;
        }
        out_folder = new_folder = true;
    }
    for (size_t k = 0; k < inputs.size(); ++k) {
        std::string target = out;
        if (out_pattern) target = format_frame(out, numbers[k]);
        if (out_folder) target = out + (out.back() == '/' ? "" : "/") + base_name(inputs[k]);
        frames.push_back({inputs[k], target, new_folder});
    }
    return true;
}

NewFolders::~NewFolders() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) rmdir(it->c_str());  // only when empty
}

bool make_output_folders(const std::vector<FramePair>& frames, std::string& error, NewFolders* made) {
    for (const FramePair& f : frames) {
        if (f.new_folder && !is_directory(folder_of(f.out)) && !make_folders(folder_of(f.out), error, made)) {
            return false;
        }
    }
    return true;
}

bool make_folders(const std::string& path, std::string& error, NewFolders* made) {
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string prefix = path.substr(0, at);
        const bool created = !prefix.empty() && mkdir(prefix.c_str(), 0777) == 0;
        if (created && made != nullptr) made->note(prefix);
        if (!created && !prefix.empty() && errno != EEXIST) {
            error = "cannot create the folder '" + prefix + "': " + std::strerror(errno);
            return false;
        }
        if (at == std::string::npos) break;
    }
    if (!is_directory(path)) {
        error = "'" + path + "' is not a folder";
        return false;
    }
    return true;
}

}  // namespace rururev::image
