// The preview's server side: the page, its routes and who may ask, and the
// worker thread that renders in the order asked. What it shows and the Lua
// state it renders through are the session's (preview_session.cpp).
#include "cli/preview.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <deque>
#include <mutex>
#include <new>
#include <sstream>
#include <system_error>
#include <thread>

#include <malloc.h>
#include <pthread.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/random.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "cli/chain.h"
#include "cli/embedded.h"
#include "cli/http_server.h"
#include "cli/preview_session.h"
#include "image/child_process.h"

namespace rururev::cli {
namespace {

// The type of a render request's body, the words of the chain: one that a
// page of another site cannot send without asking first.
constexpr char render_type[] = "application/x-rururev-words";
// How long a stop waits for a filter that is running on a large picture.
constexpr int stop_wait_ms = 500;


// A frame number of the query: digits only, 0 when absent.
bool parse_frame(const std::string& text, uint64_t& frame) {
    frame = 0;
    if (text.size() > 18 || !all_digits(text)) return false;
    for (const char c : text) frame = frame * 10 + static_cast<uint64_t>(c - '0');
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

HttpResponse png_response(std::shared_ptr<const std::string> png) {
    HttpResponse r;
    r.content_type = "image/png";
    r.shared_body = std::move(png);
    return r;
}

// The work that needs the Lua state or the video's decoder, done on one
// thread of its own in the order asked, so that the server's loop never
// waits for it. A newer render replaces a render still waiting and stops
// one that is running before its next filter.
class Worker {
public:
    Worker(Session& s, HttpServer& server) : s_(s), server_(server), thread_([this] { loop(); }) {}
    ~Worker() {
        stop(0);
        thread_.join();
    }

    void original(uint64_t connection, uint64_t frame) { add({connection, false, {}, frame, 0}); }

    void render(uint64_t connection, ApplyCommand cmd, uint64_t frame) {
        std::lock_guard<std::mutex> hold(mutex_);
        for (auto at = jobs_.begin(); at != jobs_.end();) {
            if (!at->is_render) {
                ++at;
                continue;
            }
            server_.answer(at->connection, text_response(409, "replaced by a newer request"));
            at = jobs_.erase(at);
        }
        jobs_.push_back({connection, true, std::move(cmd), frame, ++generation_});
        wake_.notify_all();
    }

    // The chains run since the start.
    uint64_t renders() const { return renders_; }

    // Abandons the work in hand; true when the thread ended within `ms`.
    bool stop(int ms) {
        std::unique_lock<std::mutex> hold(mutex_);
        stopping_ = true;
        ++generation_;
        wake_.notify_all();
        return wake_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return ended_; });
    }

private:
    struct Job {
        uint64_t connection;
        bool is_render;
        ApplyCommand cmd;
        uint64_t frame;
        uint64_t generation;
    };

    void add(Job job) {
        std::lock_guard<std::mutex> hold(mutex_);
        jobs_.push_back(std::move(job));
        wake_.notify_all();
    }

    void loop() {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> hold(mutex_);
                wake_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
                if (stopping_) break;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            HttpResponse answer;
            try {
                answer = run(job);
            } catch (const std::bad_alloc&) {
                answer = text_response(500, "out of memory");
            }
            server_.answer(job.connection, answer);
            // A picture's buffers are large: give them back to the system
            // rather than keep them for the next request.
            malloc_trim(0);
        }
        std::lock_guard<std::mutex> hold(mutex_);
        ended_ = true;
        wake_.notify_all();
    }

    HttpResponse run(const Job& job) {
        std::string error;
        if (!select_frame(s_, job.frame, error)) return text_response(500, error);
        if (!job.is_render) return png_response(s_.original_png);
        // A fresh module, as `rururev apply` has: no curve points, no
        // earlier frame.
        if (!s_.host.reopen(error)) return text_response(500, error);
        if (!set_curve(s_.host, job.cmd.curve, error)) return text_response(400, error);
        ++renders_;
        image::Raster picture = s_.original;
        for (const Step& step : job.cmd.steps) {
            if (job.generation != generation_) return text_response(409, "abandoned for a newer request");
            if (!run_chain(s_.host, {step}, picture.words.data(), picture.width, picture.height, error)) {
                return text_response(500, error);
            }
        }
        std::string png;
        if (!encode_png(picture, png, error)) return text_response(500, error);
        return png_response(std::make_shared<const std::string>(std::move(png)));
    }

    Session& s_;
    HttpServer& server_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    std::atomic<uint64_t> generation_{0};
    std::atomic<uint64_t> renders_{0};
    bool stopping_ = false, ended_ = false;
    std::thread thread_;
};

// Equal texts, compared in a time that does not tell where they differ.
bool same_secret(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || b.empty()) return false;
    unsigned char differ = 0;
    for (size_t k = 0; k < a.size(); ++k) differ |= static_cast<unsigned char>(a[k] ^ b[k]);
    return differ == 0;
}

std::string lower_media_type(const std::string& value) {
    std::string type = value.substr(0, value.find(';'));
    while (!type.empty() && type.back() == ' ') type.pop_back();
    for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return type;
}

// Who may ask: requests to the printed address only (a page of another
// site that resolves its own name to 127.0.0.1 sends its own Host), never
// from another site's page, and, but for the page itself, with the token.
struct Router {
    Session& s;
    Worker& worker;
    HttpServer& server;
    std::string address, token;

    HttpResponse refusal(const HttpRequest& req) const {
        if (req.header("host") != address) {
            return text_response(403, "this server answers only http://" + address + "/");
        }
        const std::string site = req.header("sec-fetch-site");
        if ((req.has_header("origin") && req.header("origin") != "http://" + address) ||
            (!site.empty() && site != "same-origin" && site != "none")) {
            return text_response(403, "requests from another site's page are refused");
        }
        return {};
    }

    void operator()(const HttpRequest& req, uint64_t connection) const {
        HttpResponse refused = refusal(req);
        const bool known = req.path == "/" || req.path == "/filters.json" ||
                           req.path == "/original.png" || req.path == "/render";
        const char* method = req.path == "/render" ? "POST" : "GET";
        if (refused.status == 200 && !known) refused = text_response(404, "no such page");
        if (refused.status == 200 && req.path != "/" && !same_secret(req.param("token"), token)) {
            refused = text_response(403, "open the address rururev preview printed, with its token");
        }
        if (refused.status == 200 && req.method != method) {
            refused = text_response(405, req.path + " takes " + method);
            refused.allow = method;
        }
        if (refused.status != 200) return server.answer(connection, refused);

        if (req.path == "/") {
            HttpResponse page;
            page.content_type = "text/html; charset=utf-8";
            page.body.assign(embedded::preview_html, sizeof embedded::preview_html - 1);
            return server.answer(connection, page);
        }
        if (req.path == "/filters.json") return server.answer(connection, table());
        uint64_t frame = 0;
        if (!parse_frame(req.param("frame"), frame)) {
            return server.answer(connection, text_response(400, "frame must be a number"));
        }
        if (req.path == "/original.png") return worker.original(connection, frame);
        if (lower_media_type(req.header("content-type")) != render_type) {
            return server.answer(connection,
                                 text_response(415, std::string("/render takes ") + render_type));
        }
        ApplyCommand cmd;
        std::string error;
        if (!parse_preview_request(req.body, s.filters, cmd, error)) {
            return server.answer(connection, text_response(400, error));
        }
        worker.render(connection, std::move(cmd), frame);
    }

    HttpResponse table() const {
        HttpResponse r;
        r.content_type = "application/json";
        r.body = "{\"input\":" + json_string(s.input_label) +
                 ",\"video\":" + (s.is_video ? "true" : "false") +
                 ",\"frames\":" + std::to_string(s.video.info.frames) +
                 ",\"width\":" + std::to_string(s.original.width) +
                 ",\"height\":" + std::to_string(s.original.height) +
                 ",\"renders\":" + std::to_string(worker.renders()) +
                 ",\"filters\":" + s.filters_json + "}";
        return r;
    }
};

// While the input loads (a FIFO nobody writes, a slow disk, a large
// picture) the server does not read the stop signals yet: a thread of its
// own ends the process at the first one, with the status a stop gives.
class StopWhileLoading {
public:
    explicit StopWhileLoading(int stop_fd) : done_(eventfd(0, EFD_CLOEXEC)) {
        if (stop_fd < 0 || done_ < 0) return;
        try {
            thread_ = std::thread([this, stop_fd] { watch(stop_fd); });
        } catch (const std::system_error&) {
            // No thread: a stop waits until the server reads it.
        }
    }
    ~StopWhileLoading() {
        const uint64_t one = 1;
        if (thread_.joinable() && write(done_, &one, sizeof one) == sizeof one) thread_.join();
        if (thread_.joinable()) thread_.detach();
        if (done_ >= 0) close(done_);
    }
    StopWhileLoading(const StopWhileLoading&) = delete;
    StopWhileLoading& operator=(const StopWhileLoading&) = delete;

private:
    void watch(int stop_fd) const {
        pollfd watched[2] = {{stop_fd, POLLIN, 0}, {done_, POLLIN, 0}};
        while (poll(watched, 2, -1) < 0 && errno == EINTR) {
        }
        // Loaded too: the server reads the signal and ends as it does.
        if (watched[0].revents != 0 && watched[1].revents == 0) image::end_process_now(0);
    }

    int done_;
    std::thread thread_;
};

// A token no other page can guess: 128 random bits in hexadecimal.
bool make_token(std::string& token, std::string& error) {
    unsigned char bytes[16];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        error = std::string("cannot make a token: ") + std::strerror(errno);
        return false;
    }
    token.clear();
    for (const unsigned char b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        token += hex;
    }
    return true;
}

// --port: 0 to 65535 in plain digits.
bool parse_port(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5 || !all_digits(text)) {
        return false;
    }
    port = std::stoi(text);
    return port <= 65535;
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
            if (!parse_port(words[++at], port)) {
                return usage_error("--port takes a number from 0 (any free port) to 65535", filters);
            }
        } else if (words[at].compare(0, 2, "--") == 0 || !input.empty()) {
            return usage_error("preview takes [--port N] [IN]", filters);
        } else {
            input = words[at];
        }
    }

    // Ctrl-C and SIGTERM, held since the program started (hold_stop_signals),
    // are read from a descriptor: while the input loads by a thread that
    // ends the process at once, then by the server's loop; any number of
    // them end it with status 0.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    const int stop_fd = signalfd(-1, &stop_signals, SFD_NONBLOCK | SFD_CLOEXEC);
    struct Closer {
        int fd;
        ~Closer() { if (fd >= 0) close(fd); }
    } closer{stop_fd};

    Session s{host, filters, {}, {}, {}, {}, false, {}};
    HttpServer server;
    std::string error, token;
    if (stop_fd < 0) error = std::string("cannot wait for signals: ") + std::strerror(errno);
    bool ready = false;
    {
        const StopWhileLoading stops(stop_fd);
        ready = stop_fd >= 0 && load_input(s, input, error) &&
                host.run_chunk(embedded::filters_json_lua, "=filters_json", {}, error) && server.listen(port, error) &&
                make_token(token, error);
    }
    if (!ready) {
        std::fprintf(stderr, "rururev: %s\n", error.c_str());
        return 1;
    }
    lua_getglobal(host.state(), "rururev_preview_json");
    s.filters_json = lua_tostring(host.state(), -1);
    lua_pop(host.state(), 1);

    const std::string address = "127.0.0.1:" + std::to_string(server.port());
    Worker worker(s, server);
    const Router router{s, worker, server, address, token};
    std::printf("rururev preview: http://%s/?token=%s  (Ctrl-C stops it)\n", address.c_str(),
                token.c_str());
    std::fflush(stdout);
    const bool served = server.run(stop_fd, std::ref(router), error);
    if (!served) std::fprintf(stderr, "rururev: %s\n", error.c_str());
    if (!worker.stop(stop_wait_ms)) {
        // A filter cannot be interrupted inside one call on a large
        // picture: the process ends without waiting for it, and without
        // leaving a video decoder of the worker's behind.
        std::fflush(nullptr);
        image::end_process_now(served ? 0 : 1);
    }
    return served ? 0 : 1;
}

}  // namespace rururev::cli
