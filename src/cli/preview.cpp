#include "cli/preview.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <pthread.h>
#include <unistd.h>

#include <httplib.h>

#include "cli/chain.h"
#include "cli/embedded.h"
#include "image/picture_file.h"

namespace rururev::cli {
namespace {

// The largest picture the page works on, and the longest request body it
// reads (requests carry their words in the address, which the server
// limits to 8 KiB: a chain of dozens of filters).
constexpr uint64_t max_preview_pixels = uint64_t{1} << 25;
constexpr size_t max_request_bytes = 16 * 1024;

// The table of filters as the page needs it, in JSON, from rururev_filters.
constexpr char filters_json_lua[] = R"lua(
local filters = require "rururev_filters"
local function str(s)
  return '"' .. (s:gsub('[%c"\\]', function(c) return string.format('\\u%04x', c:byte()) end)) .. '"'
end
local function value(v)
  if type(v) == "number" then return string.format("%.17g", v) end
  return tostring(v)
end
local out = {}
for _, f in ipairs(filters) do
  local sample = {}
  for i = 1, #f.sample do sample[i] = value(f.sample[i]) end
  out[#out + 1] = string.format('{"name":%s,"params":%s,"about":%s,"sample":[%s],"curve":%s}',
    str(f.name), str(f.params), str(f.about), table.concat(sample, ","), tostring(f.curve ~= nil))
end
rururev_preview_json = "[" .. table.concat(out, ",") .. "]"
)lua";

// Brings the module back to the state a fresh process starts in, so that a
// preview gives the words of a one-picture `rururev apply`: every curve
// point at 0, and the frame store sized for another picture, which makes
// the next tovoFrameCBA call a first frame.
constexpr char fresh_state_lua[] = R"lua(
local lib = require "librururev"
local image = require "rururev_image"
local w, h = ...
local zero = 0
if lib.tovoInterRGBset then
  for i = 1, 361 do lib.tovoInterRGBset(0, -zero, i) end
end
if lib.tovoFrameCBA then
  local other = image.new(w * h == 1 and 2 or 1, 1, 0)
  other:apply(lib.tovoFrameCBA, 0, 0, 0, 0, 1, 0, false)
end
)lua";

// Draws the built-in test card into a file.
constexpr char test_card_lua[] = R"lua(
local path = ...
require "rururev_test_card"():save(path)
)lua";

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A private folder for the pictures the server encodes, removed at the end.
class WorkFolder {
public:
    WorkFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                              "/rururev-preview-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~WorkFolder() {
        if (path_.empty()) return;
        for (const char* name : {"/original.png", "/render.png"}) unlink((path_ + name).c_str());
        rmdir(path_.c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The picture and the one Lua state every request works through, one
// request at a time.
struct Session {
    LuaHost& host;
    const std::vector<FilterSpec>& filters;
    image::Raster original;
    std::string original_png;
    std::string input_label;
    std::string filters_json;
    std::string folder;
    std::mutex lua;
};

bool render(Session& s, const ApplyCommand& cmd, std::string& png, std::string& error) {
    std::lock_guard<std::mutex> hold(s.lua);
    const std::vector<std::string> size = {std::to_string(s.original.width),
                                           std::to_string(s.original.height)};
    if (!s.host.run_chunk(fresh_state_lua, "=preview", size, error) ||
        !set_curve(s.host, cmd.curve, error)) {
        return false;
    }
    image::Raster picture = s.original;
    const std::string path = s.folder + "/render.png";
    if (!run_chain(s.host, cmd.steps, picture.words.data(), picture.width, picture.height,
                   error) ||
        !image::save_png(path, picture, error)) {
        return false;
    }
    png = read_whole(path);
    return true;
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\' || c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void serve(httplib::Server& server, Session& s, const std::string& host_header) {
    server.set_payload_max_length(max_request_bytes);
    // Only the address the program printed: a page of another site that
    // resolves its own name to 127.0.0.1 sends its own Host and is refused.
    server.set_pre_routing_handler([host_header](const httplib::Request& req,
                                                 httplib::Response& res) {
        if (req.get_header_value("Host") == host_header) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        res.status = 403;
        res.set_content("this server answers only http://" + host_header + "/\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(embedded::preview_html, sizeof embedded::preview_html - 1,
                        "text/html; charset=utf-8");
    });
    server.Get("/filters.json", [&s](const httplib::Request&, httplib::Response& res) {
        res.set_content("{\"input\":" + json_string(s.input_label) +
                            ",\"width\":" + std::to_string(s.original.width) +
                            ",\"height\":" + std::to_string(s.original.height) +
                            ",\"filters\":" + s.filters_json + "}",
                        "application/json");
    });
    server.Get("/original.png", [&s](const httplib::Request&, httplib::Response& res) {
        res.set_content(s.original_png, "image/png");
    });
    server.Get("/render", [&s](const httplib::Request& req, httplib::Response& res) {
        ApplyCommand cmd;
        std::string error, png;
        if (!parse_preview_request(req.get_param_value("cmd"), s.filters, cmd, error)) {
            res.status = 400;
            res.set_content(error + "\n", "text/plain");
        } else if (!render(s, cmd, png, error)) {
            res.status = 500;
            res.set_content(error + "\n", "text/plain");
        } else {
            res.set_header("Cache-Control", "no-store");
            res.set_content(png, "image/png");
        }
    });
}

// Ctrl-C and SIGTERM stop the server from a thread of their own; the
// handlers' threads never see them.
class StopOnSignal {
public:
    explicit StopOnSignal(httplib::Server& server) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
        waiter_ = std::thread([this, &server] {
            int signal = 0;
            sigwait(&signals_, &signal);
            server.stop();
        });
    }
    ~StopOnSignal() {
        // Wakes the waiter when the server ended by itself.
        pthread_kill(waiter_.native_handle(), SIGTERM);
        waiter_.join();
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t signals_, previous_;
    std::thread waiter_;
};

bool load_input(Session& s, const std::string& input, std::string& error) {
    std::string path = input;
    if (input.empty()) {
        path = s.folder + "/original.png";
        if (!s.host.run_chunk(test_card_lua, "=test card", {path}, error)) return false;
    }
    if (!image::load_picture(path, s.original, error)) return false;
    if (uint64_t{s.original.width} * s.original.height > max_preview_pixels) {
        error = "'" + input + "' is too large to preview: at most " +
                std::to_string(max_preview_pixels) + " pixels";
        return false;
    }
    s.input_label = input;
    const std::string copy = s.folder + "/original.png";
    if (!image::save_png(copy, s.original, error)) return false;
    s.original_png = read_whole(copy);
    return true;
}

}  // namespace

bool parse_preview_request(const std::string& text, const std::vector<FilterSpec>& filters,
                           ApplyCommand& out, std::string& error) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    // The options come first, each with its value; then IN and OUT stand
    // where the command line has them.
    size_t at = 0;
    while (at + 1 < words.size() && words[at].compare(0, 2, "--") == 0) {
        if (words[at] != "--curve") {
            error = "the preview takes no option '" + words[at] + "'";
            return false;
        }
        at += 2;
    }
    words.insert(words.begin() + static_cast<std::ptrdiff_t>(at), {"IN", "OUT"});
    if (!parse_apply(words, filters, out, error)) return false;
    for (const Step& step : out.steps) {
        if (!find_filter(filters, step.function)->registered) {
            error = step.function + " is not in this librururev";
            return false;
        }
    }
    return true;
}

int preview(LuaHost& host, const std::vector<FilterSpec>& filters,
            const std::vector<std::string>& words,
            int (*usage_error)(const std::string&, const std::vector<FilterSpec>&)) {
    int port = 0;
    std::string input;
    for (size_t at = 0; at < words.size(); ++at) {
        if (words[at] == "--port" && at + 1 < words.size()) {
            char* end = nullptr;
            const long value = std::strtol(words[++at].c_str(), &end, 10);
            if (*end != '\0' || value < 0 || value > 65535) {
                return usage_error("--port takes a number from 0 (any free port) to 65535", filters);
            }
            port = static_cast<int>(value);
        } else if (words[at].compare(0, 2, "--") == 0 || !input.empty()) {
            return usage_error("preview takes [--port N] [IN]", filters);
        } else {
            input = words[at];
        }
    }

    WorkFolder folder;
    if (folder.path().empty()) {
        std::fprintf(stderr, "rururev: cannot make a temporary folder\n");
        return 1;
    }
    Session s{host, filters, {}, {}, {}, {}, folder.path(), {}};
    std::string error;
    if (!load_input(s, input, error) ||
        !host.run_chunk(filters_json_lua, "=preview", {}, error)) {
        std::fprintf(stderr, "rururev: %s\n", error.c_str());
        return 1;
    }
    lua_getglobal(host.state(), "rururev_preview_json");
    s.filters_json = lua_tostring(host.state(), -1);
    lua_pop(host.state(), 1);

    httplib::Server server;
    const char* loopback = "127.0.0.1";
    const int bound = port == 0 ? server.bind_to_any_port(loopback)
                                : (server.bind_to_port(loopback, port) ? port : -1);
    if (bound <= 0) {
        std::fprintf(stderr, "rururev: cannot listen on %s:%d\n", loopback, port);
        return 1;
    }
    const std::string address = std::string(loopback) + ":" + std::to_string(bound);
    serve(server, s, address);
    std::printf("rururev preview: http://%s/  (Ctrl-C stops it)\n", address.c_str());
    std::fflush(stdout);
    {
        StopOnSignal stop(server);
        server.listen_after_bind();
    }
    return 0;
}

}  // namespace rururev::cli
