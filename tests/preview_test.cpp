// rururev preview as a server: what it answers, what it refuses, that its
// pictures are the words of `rururev apply`, where it listens, how it stops,
// and that hostile clients on the same machine cannot grow it, block it or
// make it work.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "image/png_io.h"
#include "scratch.h"

namespace {

using Clock = std::chrono::steady_clock;

long ms_since(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// The program serving IN (the test card when empty) on a free port,
// stopped with Ctrl-C at the end. When it ends at once, `status`,
// `max_rss_kb` and what it wrote to stderr (`err`) say how.
class PreviewServer {
public:
    explicit PreviewServer(const std::string& input = "", const std::string& err_path = "/dev/null") {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) dup2(err, 2);
            close(out[0]);
            const std::string program = build_dir() + "/rururev";
            std::vector<const char*> args = {program.c_str(), "preview", "--port", "0"};
            if (!input.empty()) args.push_back(input.c_str());
            args.push_back(nullptr);
            execv(program.c_str(), const_cast<char* const*>(args.data()));
            _exit(127);
        }
        close(out[1]);
        // The first line names the address: "rururev preview: http://127.0.0.1:PORT/?token=T ...".
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        const size_t at = line.find("127.0.0.1:");
        const size_t t = line.find("?token=");
        if (at != std::string::npos && t != std::string::npos) {
            port = std::atoi(line.c_str() + at + 10);
            host = "127.0.0.1:" + std::to_string(port);
            token = line.substr(t + 7, line.find(' ', t) - t - 7);
        } else {
            wait_for_end();
            if (err_path != "/dev/null") err = read_file(err_path);
        }
    }
    // Sends SIGINT and returns the exit status.
    int stop() {
        if (pid_ <= 0) return status;
        kill(pid_, SIGINT);
        return wait_for_end();
    }
    ~PreviewServer() { stop(); }

    // The resident memory of the process, in kB.
    long rss_kb() const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(in, line);) {
            if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
        }
        return -1;
    }

    int port = 0, status = -1;
    long max_rss_kb = 0;
    std::string host, token, err;

private:
    int wait_for_end() {
        int raw = 0;
        rusage usage = {};
        wait4(pid_, &raw, 0, &usage);
        pid_ = -1;
        max_rss_kb = usage.ru_maxrss;
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status;
    }
    pid_t pid_ = -1;
};

int connect_to(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

// What a client sends: `start`, then `unit` `repeat` times (one every
// `pause_ms`, or as fast as the server takes them), and what it got back.
struct Exchange {
    Exchange(std::string s, size_t r = 0, std::string u = "", int p = 0)
        : start(std::move(s)), repeat(r), unit(std::move(u)), pause_ms(p) {}
    std::string start;
    size_t repeat;
    std::string unit;
    int pause_ms;
};

struct Reply {
    int status = 0;  // 0: no answer
    std::string body;
    long ms = 0;     // until the server closed the connection
};

Reply exchange(int port, const Exchange& x, int give_up_ms = 8000) {
    Reply reply;
    const auto started = Clock::now();
    const int fd = connect_to(port);
    if (fd < 0) return reply;
    std::string pending = x.start, got;
    size_t left = x.repeat;
    auto next_unit = started;
    bool sending = true;
    while (ms_since(started) < give_up_ms) {
        if (pending.empty() && left > 0 && Clock::now() >= next_unit) {
            do {
                pending += x.unit;
                --left;
            } while (x.pause_ms == 0 && left > 0 && pending.size() < 256 * 1024);
            next_unit = Clock::now() + std::chrono::milliseconds(x.pause_ms);
        }
        pollfd p = {fd, static_cast<short>(POLLIN | (sending && !pending.empty() ? POLLOUT : 0)), 0};
        poll(&p, 1, 20);
        if (p.revents & POLLOUT) {
            const ssize_t sent = send(fd, pending.data(), pending.size(), MSG_NOSIGNAL);
            if (sent > 0) pending.erase(0, static_cast<size_t>(sent));
            if (sent < 0 && errno != EAGAIN) sending = false;
        }
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[65536];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
            if (n == 0 || (n < 0 && errno != EAGAIN)) break;
        }
    }
    reply.ms = ms_since(started);
    close(fd);
    if (got.compare(0, 9, "HTTP/1.1 ") == 0) reply.status = std::atoi(got.c_str() + 9);
    const size_t body = got.find("\r\n\r\n");
    if (body != std::string::npos) reply.body = got.substr(body + 4);
    return reply;
}

// A whole request with the given headers; a body gets its Content-Length.
std::string request(const std::string& method, const std::string& target, const std::string& host,
                    const std::string& headers = "", const std::string& body = "") {
    return method + " " + target + " HTTP/1.1\r\nHost: " + host + "\r\n" + headers +
           (method == "POST" ? "Content-Length: " + std::to_string(body.size()) + "\r\n" : "") +
           "\r\n" + body;
}

const std::string words_type = "Content-Type: application/x-rururev-words\r\n";

Reply render(const PreviewServer& server, const std::string& words, const std::string& query = "") {
    return exchange(server.port, {request("POST", "/render?token=" + server.token + query, server.host,
                                          words_type, words)});
}

Reply get(const PreviewServer& server, const std::string& target) {
    return exchange(server.port, {request("GET", target, server.host)});
}

rururev::image::Raster decode(const std::string& png, const std::string& path) {
    write_file(path, png);
    rururev::image::Raster picture;
    std::string error;
    EXPECT_TRUE(rururev::image::load_png(path, picture, error)) << error;
    return picture;
}

// Listening sockets on this port, by local address, from /proc/net/tcp{,6}.
std::string listening_addresses(int port) {
    std::string found;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (state == "0A" && local.size() > 5 && local.substr(local.size() - 5) == wanted) {
                found += local + " ";
            }
        }
    }
    return found;
}

}  // namespace

// A PNG file that declares a size and holds no pixels: its header alone.
std::string png_header_only(uint32_t width, uint32_t height) {
    const auto crc = [](const std::string& bytes) {
        uint32_t c = 0xFFFFFFFFu;
        for (const unsigned char b : bytes) {
            c ^= b;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        }
        return c ^ 0xFFFFFFFFu;
    };
    const auto be = [](uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    const auto chunk = [&](const std::string& type, const std::string& data) {
        return be(static_cast<uint32_t>(data.size())) + type + data + be(crc(type + data));
    };
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           chunk("IHDR", be(width) + be(height) + std::string("\x08\x06\x00\x00\x00", 5)) +
           chunk("IDAT", "\x78\x9c") + chunk("IEND", "");
}

TEST(Preview, AnswersItsOwnPageOnlyAndGivesTheWordsOfApply) {
    ScratchDir dir;
    ASSERT_EQ(run_rururev({"gallery", dir / "g"}).status, 0);
    const std::string input = dir / "g/original.png";
    PreviewServer server(input);
    ASSERT_GT(server.port, 0);
    const std::string address = server.host, port = std::to_string(server.port);
    const std::string token = "?token=" + server.token;

    EXPECT_EQ(listening_addresses(server.port), "0100007F:" + [&] {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", server.port);
        return std::string(hex);
    }() + " ");

    const std::string render_target = "/render" + token;
    const std::string other_site = "Origin: http://127.0.0.1:8701\r\n";
    const struct {
        std::string request;
        int status;
        std::string fragment;
    } cases[] = {
        {request("GET", "/", address), 200, "<title>rururev preview"},
        {request("GET", "/filters.json" + token, address), 200, "\"tovoHSV\""},
        {request("GET", "/", "evil.example"), 403, "answers only http://" + address},
        {request("GET", "/", "localhost:" + port), 403, "answers only"},
        {request("GET", "/filters.json" + token, address + "0"), 403, "answers only"},
        {request("GET", "/filters.json" + token, address + ".evil.example"), 403, "answers only"},
        {request("GET", "/filters.json" + token, "127.0.0.1:" + port.substr(0, port.size() - 1)), 403, "answers only"},
        {request("GET", "/../../etc/passwd", address), 404, ""},
        {request("GET", "/src/cli/preview.cpp", address), 404, ""},
        {request("GET", "/filters.json", address), 403, "its token"},
        {request("GET", "/original.png?token=" + server.token + "0", address), 403, "its token"},
        {request("GET", "/original.png?token=", address), 403, "its token"},
        {request("POST", "/render", address, words_type, "tovoHSV 1 0 0 0"), 403, "its token"},
        {request("GET", render_target + "&cmd=tovoHSV%201%200%200%200", address), 405, "takes POST"},
        {request("POST", render_target, address, "Content-Type: text/plain\r\n", "tovoHSV 1 0 0 0"), 415, "application/x-rururev-words"},
        {request("POST", render_target, address, words_type + other_site, "tovoHSV 1 0 0 0"), 403, "another site"},
        {request("POST", render_target, address, words_type + "Origin: null\r\n", "tovoHSV 1 0 0 0"), 403, "another site"},
        {request("POST", render_target, address, words_type + "Sec-Fetch-Site: cross-site\r\n", "tovoHSV 1 0 0 0"), 403, "another site"},
        {request("GET", "/", address, "Sec-Fetch-Site: same-site\r\n"), 403, "another site"},
        {request("OPTIONS", render_target, address, other_site), 405, ""},
        {request("GET", "/original.png" + token + "&frame=1x", address), 400, "frame"},
        {request("POST", render_target, address, words_type, "tovoHSV x 0 0 0"), 400, "must be a number"},
        {request("POST", render_target, address, words_type, "tovoRGB 1 2 3 4 5"), 400, "tovoRGB"},
        {request("POST", render_target, address, words_type, "nosuch 1"), 400, "nosuch"},
        {request("POST", render_target, address, words_type, "--raw 4x4 tovoRGB 1"), 400, "no option '--raw'"},
        {request("POST", render_target, address, words_type, "--curve 1:2 tovoInterRGB 1 0 0"), 400, "--curve"},
        {request("POST", render_target, address, words_type, "--curve 1:0:-10 tovoInterRGB 100 0 256"), 400, "refused the --curve triple"},
        {request("GET", "/", address), 200, "<title>rururev preview"},
    };
    for (const auto& c : cases) {
        const Reply reply = exchange(server.port, {c.request});
        const std::string label = c.request.substr(0, c.request.find("\r\n\r\n"));
        EXPECT_EQ(reply.status, c.status) << label;
        EXPECT_NE(reply.body.find(c.fragment), std::string::npos) << label << ": " << reply.body.substr(0, 200);
    }

    // Each picture is the words of a fresh `rururev apply`, also when the
    // module's state (curve, frame store) was used by the request before.
    for (const std::string words :
         {"--curve 0:-10:1,100:-20:101 tovoInterRGB 100 0 256 + tovoHSV 10 20 0 0",
          "tovoFrameCBA 0 12 12 12 4 0xFF0000 true", "tovoHSV 10 20 0 0",
          "tovoFrameCBA 0 12 12 12 4 0xFF0000 true"}) {
        const Reply reply = render(server, words);
        ASSERT_EQ(reply.status, 200) << words << ": " << reply.body.substr(0, 200);
        std::istringstream split(words);
        std::vector<std::string> args = {"apply"};
        for (std::string w; split >> w;) args.push_back(w);
        const size_t options = args[1] == "--curve" ? 2 : 0;
        args.insert(args.begin() + 1 + options, {input, dir / "apply.png"});
        ASSERT_EQ(run_rururev(args).status, 0) << words;
        rururev::image::Raster expected, got = decode(reply.body, dir / "page.png");
        std::string error;
        ASSERT_TRUE(rururev::image::load_png(dir / "apply.png", expected, error)) << error;
        EXPECT_EQ(got.width, expected.width);
        EXPECT_TRUE(got.words == expected.words) << words;
    }
    EXPECT_NE(get(server, "/filters.json" + token).body.find("\"renders\":4,"), std::string::npos);
    EXPECT_EQ(run_rururev({"preview", "--port", port, input}).err,
              "rururev: cannot listen on " + address + ": Address already in use\n");

    EXPECT_EQ(server.stop(), 0);
}

// Clients that send too much, too slowly or nothing, all at once: each is
// answered (or let go) within its deadline, the page's own request is
// answered within a second while they hold their connections, and the
// process is no larger afterwards.
TEST(Preview, HostileClientsAreBoundedAndThePageIsStillAnswered) {
    PreviewServer server;
    ASSERT_GT(server.port, 0);
    const std::string render_target = "/render?token=" + server.token;
    ASSERT_EQ(render(server, "tovoHSV 1 0 0 0").status, 200);
    const long rss_before = server.rss_kb();
    const std::string block(64 * 1024, 'a'), h = server.host;
    const struct {
        const char* what;
        Exchange x;
        int status;
        long within_ms;
    } cases[] = {
        {"a request line of 32 MiB", {"GET /", 512, block}, 414, 2000},
        {"a header line of 32 MiB", {"GET / HTTP/1.1\r\nX: ", 512, block}, 431, 2000},
        {"200000 header lines", {"GET / HTTP/1.1\r\n", 200000, "X-A: b\r\n"}, 431, 2000},
        {"65 headers", {request("GET", "/", h, [] { std::string x; for (int k = 0; k < 65; ++k) x += "X: y\r\n"; return x; }())}, 431, 2000},
        {"a chunked body of 32 MiB",
         {"POST " + render_target + " HTTP/1.1\r\nHost: " + h + "\r\n" + words_type +
          "Transfer-Encoding: chunked\r\n\r\n", 512, "10000\r\n" + block + "\r\n"}, 501, 2000},
        {"a declared body of 100 MB",
         {"POST " + render_target + " HTTP/1.1\r\nHost: " + h + "\r\n" + words_type +
          "Content-Length: 100000000\r\n\r\n", 512, block}, 413, 2000},
        {"a POST without a length",
         {"POST " + render_target + " HTTP/1.1\r\nHost: " + h + "\r\n" + words_type + "\r\n"}, 411, 2000},
        {"a header line every 400 ms", {"GET / HTTP/1.1\r\n", 1000, "X: y\r\n", 400}, 408, 3700},
        {"a body byte every 400 ms",
         {"POST " + render_target + " HTTP/1.1\r\nHost: " + h + "\r\n" + words_type +
          "Content-Length: 100\r\n\r\n", 100, "a", 400}, 408, 3700},
        {"half a request line, then silence", {"GET /filt"}, 408, 3700},
        {"silence", {""}, 408, 3700},
    };
    Reply replies[std::size(cases)];
    // More idle connections than the server takes, opened first.
    std::vector<int> idle;
    for (int k = 0; k < 40; ++k) idle.push_back(connect_to(server.port));
    std::vector<std::thread> clients;
    for (size_t k = 0; k < std::size(cases); ++k) {
        clients.emplace_back([&, k] { replies[k] = exchange(server.port, cases[k].x); });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Reply page = get(server, "/filters.json?token=" + server.token);
    EXPECT_EQ(page.status, 200);
    EXPECT_LT(page.ms, 1000) << "the page waited";
    EXPECT_EQ(render(server, "tovoHSV 2 0 0 0").status, 200);
    for (auto& c : clients) c.join();
    for (size_t k = 0; k < std::size(cases); ++k) {
        EXPECT_EQ(replies[k].status, cases[k].status) << cases[k].what << ": " << replies[k].body;
        EXPECT_LE(replies[k].ms, cases[k].within_ms) << cases[k].what;
    }
    // Every idle connection was let go by now.
    for (const int fd : idle) {
        char c;
        pollfd p = {fd, POLLIN, 0};
        EXPECT_EQ(poll(&p, 1, 0), 1);
        while (recv(fd, &c, 1, 0) > 0) {
        }
        close(fd);
    }
    EXPECT_LT(server.rss_kb() - rss_before, 4096) << "kB grown";
    EXPECT_EQ(server.stop(), 0);
}

// Pictures larger than the page works on are refused from their header,
// before their pixels are decoded.
TEST(Preview, RefusesLargePicturesBeforeDecodingThem) {
    ScratchDir dir;
    const struct {
        uint32_t width, height;
        std::string fragment;
    } cases[] = {
        {8193, 4096, "too large to preview: at most 33554432 pixels"},
        {16384, 16383, "too large to preview: at most 33554432 pixels"},
        {4096, 8192, "original.png"},  // within the limit: refused as cut short
    };
    for (const auto& c : cases) {
        write_file(dir / "original.png", png_header_only(c.width, c.height));
        PreviewServer server(dir / "original.png", dir / "err.txt");
        EXPECT_EQ(server.status, 1) << c.width << "x" << c.height;
        EXPECT_NE(server.err.find(c.fragment), std::string::npos) << server.err;
        if (c.width != 4096) {
            EXPECT_LT(server.max_rss_kb, 100 * 1024) << c.width << "x" << c.height;
        }
    }
}

// Stopped by a signal at any moment from its first line on, it ends with
// status 0 within a second: right after start, as soon as the address is
// printed, and by two signals at once.
TEST(Preview, EveryStopSignalEndsItWithZero) {
    const std::string program = build_dir() + "/rururev";
    ScratchDir dir;
    const std::string input = dir / "tiny.png";  // quicker to start than the test card
    const uint32_t words[4] = {};
    std::vector<unsigned char> png;
    char message[200];
    ASSERT_TRUE(rururev::image::png_encode("tiny", 2, 2, words, 1, png, message, sizeof message));
    write_file(input, std::string(png.begin(), png.end()));
    int late = 0;
    for (int k = 0; k < 200; ++k) {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execl(program.c_str(), program.c_str(), "preview", "--port", "0", input.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        const int signal = k % 2 == 0 ? SIGINT : SIGTERM;
        if (k % 4 < 2) {
            // As soon as main holds the signals or catches them, whichever
            // comes first.
            const std::string status_file = "/proc/" + std::to_string(pid) + "/status";
            for (unsigned long long mask = 0; (mask & 0x4002) != 0x4002;) {
                std::ifstream in(status_file);
                for (std::string line; std::getline(in, line);) {
                    if (line.compare(0, 7, "SigBlk:") == 0 || line.compare(0, 7, "SigCgt:") == 0) {
                        mask |= std::stoull(line.substr(7), nullptr, 16);
                    }
                }
                if (waitpid(pid, nullptr, WNOHANG) != 0) break;
            }
        } else {
            char c;
            while (read(out[0], &c, 1) == 1 && c != '\n') {
            }
        }
        kill(pid, signal);
        if (k % 8 == 7) kill(pid, signal);
        const auto sent = Clock::now();
        int raw = 0;
        while (waitpid(pid, &raw, WNOHANG) == 0 && ms_since(sent) < 1000) usleep(2000);
        if (ms_since(sent) >= 1000) {
            ++late;
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
        }
        close(out[0]);
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << "start " << k << ", signal " << signal;
    }
    EXPECT_EQ(late, 0) << "starts still running a second after the signal";
}

// A render that runs long is abandoned for a newer one, and a stop does
// not wait for it.
TEST(Preview, ANewerRenderOrAStopEndsALongOne) {
    ScratchDir dir;
    const std::vector<uint32_t> words(2048 * 2048, 0xFF336699u);
    std::vector<unsigned char> png;
    char message[200];
    ASSERT_TRUE(rururev::image::png_encode("big", 2048, 2048, words.data(), 1, png, message, sizeof message));
    write_file(dir / "big.png", std::string(png.begin(), png.end()));
    PreviewServer server(dir / "big.png");
    ASSERT_GT(server.port, 0);
    std::string chain = "tovoHSV 1";
    while (chain.size() < 16000) chain += " + tovoHSV 1";  // many seconds of work
    for (const bool by_stop : {false, true}) {
        Reply long_one;
        std::thread first([&] { long_one = render(server, chain); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto newer = Clock::now();
        if (by_stop) {
            EXPECT_EQ(server.stop(), 0);
        } else {
            EXPECT_EQ(render(server, "tovoRGB 1").status, 200);
        }
        first.join();
        EXPECT_LT(ms_since(newer), 3000) << (by_stop ? "stop" : "newer render");
        if (!by_stop) {
            EXPECT_EQ(long_one.status, 409) << long_one.body;
        }
    }
}

TEST(Preview, ShowsTheChosenFrameOfAVideo) {
    if (run_shell("command -v ffmpeg").status != 0) SKIP_UNLESS_CI("ffmpeg is not installed");
    ScratchDir dir;
    ASSERT_EQ(run_shell("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=10 -t 2 "
                        "-pix_fmt yuv420p " + shell_quote(dir / "clip.mp4")).status, 0);
    PreviewServer server(dir / "clip.mp4");
    ASSERT_GT(server.port, 0);
    const Reply info = get(server, "/filters.json?token=" + server.token);
    EXPECT_NE(info.body.find("\"video\":true,\"frames\":20"), std::string::npos) << info.body;

    // Frame 5, then frame 2 (the decoder starts again), each filtered as
    // `rururev apply` filters that frame saved as a picture.
    std::string first;
    for (const int frame : {5, 2, 19}) {
        const std::string at = "&frame=" + std::to_string(frame == 19 ? 1000000 : frame);
        const Reply original = get(server, "/original.png?token=" + server.token + at);
        const Reply shown = render(server, "tovoHSV 30 20 0 0", at);
        ASSERT_TRUE(original.status == 200 && shown.status == 200) << frame;
        if (first.empty()) first = original.body;
        else EXPECT_NE(original.body, first) << "frames " << frame << " and 5 look the same";
        write_file(dir / "frame.png", original.body);
        ASSERT_EQ(run_rururev({"apply", dir / "frame.png", dir / "out.png", "tovoHSV", "30", "20", "0",
                               "0"}).status, 0);
        std::string error;
        rururev::image::Raster expected;
        ASSERT_TRUE(rururev::image::load_png(dir / "out.png", expected, error)) << error;
        EXPECT_TRUE(decode(shown.body, dir / "shown.png").words == expected.words) << frame;
    }
    EXPECT_EQ(server.stop(), 0);
}
