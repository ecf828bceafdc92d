#include "cli/preview.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <thread>

#include <pthread.h>
#include <unistd.h>

#include <httplib.h>

#include "cli/chain.h"
#include "cli/embedded.h"
#include "image/picture_file.h"
#include "image/video_io.h"

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

bool encode_png(const image::Raster& picture, std::string& png, std::string& error) {
    std::vector<unsigned char> bytes;
    char message[300];
    if (!image::png_encode("the preview", picture.width, picture.height, picture.words.data(),
                           image::png_default_level, bytes, message, sizeof message)) {
        error = message;
        return false;
    }
    png.assign(bytes.begin(), bytes.end());
    return true;
}

// A video's frames, decoded in order: a frame a little later reads on, any
// other starts the decoder again near it.
struct VideoSource {
    image::VideoTools tools;
    image::VideoInfo info;
    image::VideoReader reader;
    uint64_t next = 0;      // the frame the reader gives next
    uint64_t current = 0;   // the frame in Session::original
    bool open = false;
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
    bool is_video = false;
    VideoSource video;
    std::mutex lua;
};

// Makes frame n of a video the original; pictures have frame 0 only.
bool select_frame(Session& s, uint64_t n, std::string& error) {
    VideoSource& v = s.video;
    if (!s.is_video || (v.open && n == v.current)) return true;
    if (v.info.frames > 0 && n >= v.info.frames) n = v.info.frames - 1;
    // A frame behind, or well ahead: decode from the key frame before it.
    if (!v.open || n < v.next || n > v.next + 25) {
        v.reader.stop();
        if (!v.reader.open(v.tools, s.input_label, v.info, 0, error, n)) return false;
        v.open = true;
        v.next = n;
    }
    s.original.width = v.info.width;
    s.original.height = v.info.height;
    s.original.words.resize(size_t{v.info.width} * v.info.height);
    while (v.next <= n) {
        const int got = v.reader.read(s.original.words.data(), error);
        if (got != 1) {
            if (got == 0) error = "'" + s.input_label + "' has no frame " + std::to_string(n);
            v.open = false;
            return false;
        }
        ++v.next;
    }
    v.current = n;
    return encode_png(s.original, s.original_png, error);
}

uint64_t frame_of(const httplib::Request& req) {
    return std::strtoull(req.get_param_value("frame").c_str(), nullptr, 10);
}

bool render(Session& s, const ApplyCommand& cmd, uint64_t frame, std::string& png,
            std::string& error) {
    std::lock_guard<std::mutex> hold(s.lua);
    if (!select_frame(s, frame, error)) return false;
    const std::vector<std::string> size = {std::to_string(s.original.width),
                                           std::to_string(s.original.height)};
    if (!s.host.run_chunk(fresh_state_lua, "=preview", size, error) ||
        !set_curve(s.host, cmd.curve, error)) {
        return false;
    }
    image::Raster picture = s.original;
    return run_chain(s.host, cmd.steps, picture.words.data(), picture.width, picture.height,
                     error) &&
           encode_png(picture, png, error);
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
                            ",\"video\":" + (s.is_video ? "true" : "false") +
                            ",\"frames\":" + std::to_string(s.video.info.frames) +
                            ",\"width\":" + std::to_string(s.original.width) +
                            ",\"height\":" + std::to_string(s.original.height) +
                            ",\"filters\":" + s.filters_json + "}",
                        "application/json");
    });
    server.Get("/original.png", [&s](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> hold(s.lua);
        std::string error;
        if (!select_frame(s, frame_of(req), error)) {
            res.status = 500;
            res.set_content(error + "\n", "text/plain");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(s.original_png, "image/png");
    });
    server.Get("/render", [&s](const httplib::Request& req, httplib::Response& res) {
        ApplyCommand cmd;
        std::string error, png;
        if (!parse_preview_request(req.get_param_value("cmd"), s.filters, cmd, error)) {
            res.status = 400;
            res.set_content(error + "\n", "text/plain");
        } else if (!render(s, cmd, frame_of(req), png, error)) {
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

// The built-in test card, drawn by its Lua source into a file of a private
// folder and read back.
bool load_test_card(Session& s, std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                         "/rururev-preview-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        error = "cannot make a temporary folder: " + std::string(std::strerror(errno));
        return false;
    }
    const std::string path = folder + "/card.png";
    const bool ok = s.host.run_chunk(test_card_lua, "=test card", {path}, error) &&
                    image::load_picture(path, s.original, error);
    unlink(path.c_str());
    rmdir(folder.c_str());
    return ok;
}

// A picture file, or else a video file whose frames the page can choose.
bool load_input(Session& s, const std::string& input, std::string& error) {
    s.input_label = input;
    if (input.empty()) {
        if (!load_test_card(s, error)) return false;
    } else if (!image::load_picture(input, s.original, error)) {
        std::string why;
        VideoSource& v = s.video;
        if (image::picture_type_of_name(input) != image::PictureType::none) return false;
        if (!image::find_video_tools(v.tools, why)) {
            error += "; if it is a video: " + why;
            return false;
        }
        if (!image::probe_video(v.tools, input, v.info, why)) return false;  // the picture's reason
        s.is_video = true;
        if (!select_frame(s, 0, error)) return false;
    }
    if (uint64_t{s.original.width} * s.original.height > max_preview_pixels) {
        error = "'" + input + "' is too large to preview: at most " +
                std::to_string(max_preview_pixels) + " pixels";
        return false;
    }
    return s.is_video || encode_png(s.original, s.original_png, error);
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

    Session s{host, filters, {}, {}, {}, {}, false, {}, {}};
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
