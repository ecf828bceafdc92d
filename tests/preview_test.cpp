// rururev preview as a server: what it answers, what it refuses, that its
// pictures are the words of `rururev apply`, where it listens, how it stops,
// and what hostile clients on this machine can do to it.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// The program serving IN on a free port; with `early_signal`, sent that
// signal as soon as it holds or catches it; with `files`, allowed that many
// descriptors. `line` is its first line.
class PreviewServer {
public:
    explicit PreviewServer(const std::string& input, int early_signal = 0, rlim_t files = 0) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(out[1], 2);
            close(out[0]);
            const rlimit limit = {files, files};
            if (files > 0) setrlimit(RLIMIT_NOFILE, &limit);
            const std::string program = build_dir() + "/rururev";
            execl(program.c_str(), program.c_str(), "preview", "--port", "0", input.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        for (uint64_t mask = 0; early_signal != 0 && (mask & 0x4002) != 0x4002;) {
            mask = proc_status("SigBlk:", 16) | proc_status("SigCgt:", 16);
            siginfo_t ended = {};
            if (waitid(P_PID, pid_, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid != 0) break;
        }
        if (early_signal != 0 && kill(pid_, early_signal) == 0) signalled_ = Clock::now();
        // The first line names the address: "rururev preview: http://127.0.0.1:PORT/?token=T ...".
        char c;
        pollfd ready = {out[0], POLLIN, 0};
        while (poll(&ready, 1, 5000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
        output_ = out[0];
        fcntl(output_, F_SETFL, O_NONBLOCK);
        const size_t at = line.find("127.0.0.1:"), t = line.find("?token=");
        if (at == std::string::npos || t == std::string::npos) {
            stop(0, 0);
            return;
        }
        port = std::atoi(line.c_str() + at + 10);
        host = "127.0.0.1:" + std::to_string(port);
        token = line.substr(t + 7, line.find(' ', t) - t - 7);
    }
    // Sends `count` signals and returns the exit status, or -1 when it was
    // still running a second after the last signal (it is then killed).
    int stop(int signal = SIGINT, int count = 1) {
        if (pid_ <= 0) return status;
        for (int k = 0; k < count; ++k) kill(pid_, signal);
        const auto sent = count == 0 && signalled_ != Clock::time_point{} ? signalled_ : Clock::now();
        int raw = 0;
        rusage usage = {};
        bool late = false;
        for (; wait4(pid_, &raw, WNOHANG, &usage) == 0; usleep(2000)) {
            if ((late = ms_since(sent) >= 1000)) kill(pid_, SIGKILL);
        }
        pid_ = -1;
        char buffer[4096];
        for (ssize_t n; output_ >= 0 && (n = read(output_, buffer, sizeof buffer)) > 0;) later.append(buffer, static_cast<size_t>(n));
        if (output_ >= 0) close(output_);
        output_ = -1;
        max_rss_kb = usage.ru_maxrss;
        status = late ? -1 : WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status;
    }
    ~PreviewServer() { stop(); }

    // A number of /proc/PID/status ("VmRSS:" in kB, or a mask in hexadecimal).
    uint64_t proc_status(const std::string& field, int base = 10) const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
        for (std::string l; std::getline(in, l);) {
            if (l.compare(0, field.size(), field) == 0) return std::stoull(l.substr(field.size()), nullptr, base);
        }
        return 0;
    }

    // The CPU time it has used (user and system).
    long cpu_ms() const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), field;
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        long ticks = 0;
        for (int k = 3; k <= 15 && fields >> field; ++k) ticks += k >= 14 ? std::stol(field) : 0;
        return ticks * 1000 / sysconf(_SC_CLK_TCK);
    }

    int port = 0, status = -1;
    long max_rss_kb = 0;
    std::string line, host, token;
    std::string later;  // what it printed after its first line, read once it has ended

private:
    pid_t pid_ = -1;
    int output_ = -1;
    Clock::time_point signalled_{};
};

int connect_to(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The status (0: no answer), the body, and the time until the server closed.
struct Reply { int status = 0; std::string body; long ms = 0; std::string head; };

// Sends `start`, then `unit` `repeat` times (one every `pause_ms`, or as
// fast as the server takes them), and reads until the server closes.
Reply send_and_read(int port, const std::string& start, size_t repeat = 0, const std::string& unit = "",
                    int pause_ms = 0) {
    const auto started = Clock::now();
    auto next_unit = started;
    const int fd = connect_to(port);
    std::string pending = start, got;
    for (bool sending = true; fd >= 0 && ms_since(started) < 8000;) {
        for (; pending.size() < 256 * 1024 && repeat > 0 && Clock::now() >= next_unit; --repeat) {
            pending += unit;
            next_unit = Clock::now() + std::chrono::milliseconds(pause_ms);
        }
        pollfd p = {fd, static_cast<short>(POLLIN | (sending && !pending.empty() ? POLLOUT : 0)), 0};
        poll(&p, 1, 20);
        const ssize_t sent = p.revents & POLLOUT ? send(fd, pending.data(), pending.size(), MSG_NOSIGNAL) : 0;
        if (sent > 0) pending.erase(0, static_cast<size_t>(sent));
        sending = sending && (sent >= 0 || errno == EAGAIN);
        char buffer[65536];
        const ssize_t n = p.revents & (POLLIN | POLLHUP | POLLERR) ? recv(fd, buffer, sizeof buffer, 0) : -2;
        if (n > 0) got.append(buffer, static_cast<size_t>(n));
        if (n == 0 || (n == -1 && errno != EAGAIN)) break;
    }
    close(fd);
    const size_t body = got.find("\r\n\r\n");
    return {got.compare(0, 9, "HTTP/1.1 ") == 0 ? std::atoi(got.c_str() + 9) : 0,
            body == std::string::npos ? "" : got.substr(body + 4), ms_since(started), got.substr(0, body)};
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
    return send_and_read(server.port, request("POST", "/render?token=" + server.token + query, server.host,
                                              words_type, words));
}

Reply get(const PreviewServer& server, const std::string& target) {
    return send_and_read(server.port, request("GET", target, server.host));
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

// Without IN the page shows the built-in test card: the gallery's original.
TEST(Preview, WithoutAPictureShowsTheTestCard) {
    ScratchDir dir;
    ASSERT_EQ(run_rururev({"gallery", dir / "g"}).status, 0);
    PreviewServer server("");
    ASSERT_GT(server.port, 0) << server.line;
    const Reply original = get(server, "/original.png?token=" + server.token);
    ASSERT_EQ(original.status, 200) << original.body;
    const rururev::image::Raster shown = decode(original.body, dir / "shown.png");
    const rururev::image::Raster card = decode(read_file(dir / "g/original.png"), dir / "card.png");
    EXPECT_EQ(shown.width, 256u);
    EXPECT_EQ(shown.height, 192u);
    EXPECT_TRUE(shown.words == card.words);
}

TEST(Preview, ListensOnLoopbackAndGivesTheWordsOfApply) {
    ScratchDir dir;
    ASSERT_EQ(run_rururev({"gallery", dir / "g"}).status, 0);
    const std::string input = dir / "g/original.png";
    PreviewServer server(input);
    ASSERT_GT(server.port, 0) << server.line;
    const std::string address = server.host, port = std::to_string(server.port);

    EXPECT_EQ(listening_addresses(server.port), "0100007F:" + [&] {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", server.port);
        return std::string(hex);
    }() + " ");

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
    EXPECT_NE(get(server, "/filters.json?token=" + server.token).body.find("\"renders\":4,"), std::string::npos);
    EXPECT_EQ(run_rururev({"preview", "--port", port, input}).err,
              "rururev: cannot listen on " + address + ": Address already in use\n");

    EXPECT_EQ(server.stop(), 0);
}

// Hostile clients: one by one, requests of another Host or site, without the
// token, or with refused words; then all at once, more idle ones than the
// server holds and those that send too much or too slowly. Meanwhile the
// page is answered within a second, a newer render abandons a long one, a
// stop ends one, and the process is no larger afterwards.
TEST(Preview, HostileClientsAreRefusedAndBoundedAndThePageIsStillAnswered) {
    ScratchDir dir;
    write_file(dir / "big.lua", "require 'rururev_image'.new(2048, 2048, 0xFF336699):save(arg[1])");
    ASSERT_EQ(run_rururev({"run", dir / "big.lua", dir / "big.png"}).status, 0);
    PreviewServer server(dir / "big.png");
    ASSERT_GT(server.port, 0);
    ASSERT_EQ(render(server, "tovoHSV 1 0 0 0").status, 200);
    const long rss_before = server.proc_status("VmRSS:");
    const std::string address = server.host, token = "?token=" + server.token, port = std::to_string(server.port);
    const std::string render_target = "/render" + token, other_site = "Origin: http://127.0.0.1:8701\r\n";
    const std::string mib(1 << 20, 'a'), post = "POST " + render_target + " HTTP/1.1\r\nHost: " + address + "\r\n" + words_type;
    const struct {
        std::string start;
        size_t repeat;
        std::string unit;
        int pause_ms, status;
        std::string reason;
        long within_ms;  // 0: asked alone, before the others come
    } cases[] = {
        {request("GET", "/", address), 0, "", 0, 200, "<title>rururev preview", 0},
        {request("GET", "/filters.json" + token, address), 0, "", 0, 200, "\"tovoHSV\"", 0},
        {request("GET", "/", "evil.example"), 0, "", 0, 403, "answers only http://" + address, 0},
        {request("GET", "/", "localhost:" + port), 0, "", 0, 403, "answers only", 0},
        {request("GET", "/filters.json" + token, address + "0"), 0, "", 0, 403, "answers only", 0},
        {request("GET", "/filters.json" + token, address + ".evil.example"), 0, "", 0, 403, "answers only", 0},
        {request("GET", "/filters.json" + token, "127.0.0.1:" + port.substr(0, port.size() - 1)), 0, "", 0, 403, "answers only", 0},
        {request("GET", "/../../etc/passwd", address), 0, "", 0, 404, "", 0},
        {request("GET", "/src/cli/preview.cpp", address), 0, "", 0, 404, "", 0},
        {request("GET", "/filters.json", address), 0, "", 0, 403, "its token", 0},
        {request("GET", "/original.png?token=" + server.token + "0", address), 0, "", 0, 403, "its token", 0},
        {request("GET", "/original.png?token=" + server.token.substr(0, 1), address), 0, "", 0, 403, "its token", 0},
        {request("GET", render_target + "&cmd=tovoHSV%201%200%200%200", address), 0, "", 0, 405, "takes POST", 0},
        {request("POST", render_target, address, "Content-Type: text/plain\r\n", "tovoHSV 1 0 0 0"), 0, "", 0, 415, "application/x-rururev-words", 0},
        {request("POST", render_target, address, words_type + other_site, "tovoHSV 1 0 0 0"), 0, "", 0, 403, "another site", 0},
        {request("POST", render_target, address, words_type + "Sec-Fetch-Site: cross-site\r\n", "tovoHSV 1 0 0 0"), 0, "", 0, 403, "another site", 0},
        {request("GET", "/", address, "Sec-Fetch-Site: same-site\r\n"), 0, "", 0, 403, "another site", 0},
        {request("GET", "/filters.json" + token, address, "Origin: http://" + address + "0\r\n"), 0, "", 0, 403, "another site", 0},
        {request("GET", "/filters.json" + token, address, "Origin: http://127.0.0.1\r\n"), 0, "", 0, 403, "another site", 0},
        {request("GET", "/", address, "Origin: http://" + address + "\r\n" + other_site), 0, "", 0, 400, "malformed header", 0},
        {request("GET", "/", address, "Sec-Fetch-Site: none\r\nSec-Fetch-Site: cross-site\r\n"), 0, "", 0, 400, "malformed header", 0},
        {request("GET", "/", address, std::string("X\0Y: z\r\n", 8)), 0, "", 0, 400, "malformed header", 0},
        {request("OPTIONS", render_target, address, other_site), 0, "", 0, 405, "", 0},
        {request("GET", "/original.png" + token + "&frame=1x", address), 0, "", 0, 400, "frame", 0},
        {request("POST", render_target, address, words_type, "tovoHSV x 0 0 0"), 0, "", 0, 400, "must be a number", 0},
        {request("POST", render_target, address, words_type, "tovoRGB 1 2 3 4 5"), 0, "", 0, 400, "tovoRGB", 0},
        {request("POST", render_target, address, words_type, "nosuch 1"), 0, "", 0, 400, "nosuch", 0},
        {request("POST", render_target, address, words_type, "--raw 4x4 tovoRGB 1"), 0, "", 0, 400, "no option '--raw'", 0},
        {request("POST", render_target, address, words_type, "--curve 1:2 tovoInterRGB 1 0 0"), 0, "", 0, 400, "--curve", 0},
        {request("POST", render_target, address, words_type, "--curve 1:0:-10 tovoInterRGB 100 0 256"), 0, "", 0, 400, "refused the --curve triple", 0},
        {request("GET", "/", address), 0, "", 0, 200, "<title>rururev preview", 0},
        {"GET /", 32, mib, 0, 414, "request line is longer than 8192 bytes", 2000},  // a request line of 32 MiB
        {"GET / HTTP/1.1\r\nX: ", 32, mib, 0, 431, "headers are longer than 16384 bytes", 2000},  // a header line of 32 MiB
        {"GET / HTTP/1.1\r\n", 200000, "X-A: b\r\n", 0, 431, "more than 64 headers", 2000},  // 200000 header lines
        {"GET / HTTP/1.1\r\n", 65, "X: y\r\n", 0, 431, "more than 64 headers", 2000},  // 65 headers
        {post + "Transfer-Encoding: chunked\r\n\r\n", 32, "100000\r\n" + mib + "\r\n", 0, 501, "transfer coding", 2000},  // a chunked body of 32 MiB
        {post + "Content-Length: 100000000\r\n\r\n", 32, mib, 0, 413, "body is longer than 16384 bytes", 2000},  // a declared body of 100 MB
        {post + "\r\n", 0, "", 0, 411, "needs Content-Length", 2000},  // a POST without a length
        {"GET / HTTP/1.1\r\n", 1000, "X: y\r\n", 400, 408, "did not arrive in time", 3700},  // a header line every 400 ms
        {post + "Content-Length: 100\r\n\r\n", 100, "a", 400, 408, "did not arrive in time", 3700},  // a body byte every 400 ms
        {"GET /filt", 0, "", 0, 408, "did not arrive in time", 3700},  // half a request line, then silence
    };
    Reply replies[std::size(cases)];
    for (size_t k = 0; k < std::size(cases); ++k) {
        if (cases[k].within_ms == 0) replies[k] = send_and_read(server.port, cases[k].start);
    }
    std::string chain = "tovoHSV 1";
    while (chain.size() < 16000) chain += " + tovoHSV 1";  // many seconds of work
    Reply long_one;
    std::thread long_render([&] { long_one = render(server, chain); });
    // The cap makes room by closing the oldest unfinished request: the long
    // one is held only once it has been read whole (and counted).
    for (int k = 0; k < 500 && get(server, "/filters.json" + token).body.find("\"renders\":2,") == std::string::npos; ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<int> idle;
    for (int k = 0; k < 40; ++k) idle.push_back(connect_to(server.port));
    std::vector<std::thread> clients;
    for (size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        if (c.within_ms > 0) clients.emplace_back([&, k] { replies[k] = send_and_read(server.port, c.start, c.repeat, c.unit, c.pause_ms); });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (const Reply& page : {get(server, "/filters.json?token=" + server.token), render(server, "tovoRGB 1")}) {
        // Within the 3 s the slow clients are given: not held behind them.
        EXPECT_EQ(page.status, 200);
        EXPECT_LT(page.ms, 2500) << "the page waited";
    }
    long_render.join();
    EXPECT_EQ(long_one.status, 409) << long_one.body;
    for (auto& c : clients) c.join();
    for (size_t k = 0; k < std::size(cases); ++k) {
        const std::string what = cases[k].start.substr(0, cases[k].start.find("\r\n\r\n"));
        EXPECT_EQ(replies[k].status, cases[k].status) << what;
        EXPECT_NE(replies[k].body.find(cases[k].reason), std::string::npos) << what << ": " << replies[k].body.substr(0, 200);
        EXPECT_LE(replies[k].ms, std::max(cases[k].within_ms, 1000L)) << what;
        EXPECT_NE(replies[k].head.find("\r\nReferrer-Policy: no-referrer\r\n"), std::string::npos) << what;
    }
    for (const int fd : idle) {
        pollfd p = {fd, POLLIN, 0};
        EXPECT_EQ(poll(&p, 1, 0), 1) << "an idle connection is still held";
        close(fd);
    }
    if (!RURUREV_UNDER_ASAN) {  // which keeps freed memory for a while
        EXPECT_LT(static_cast<long>(server.proc_status("VmRSS:")) - rss_before, 4096) << "kB grown";
    }
    long_render = std::thread([&] { long_one = render(server, chain); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(server.stop(), 0) << "not ended within a second of the signal, during a long render";
    long_render.join();
}

// Pictures larger than the page works on are refused from their header,
// before their pixels are decoded; and stopped by a signal at any moment
// from its first line on (at once, while it waits for a FIFO nobody writes,
// as soon as the address is out, by two signals), it ends with status 0
// within a second.
TEST(Preview, RefusesLargePicturesAndEndsWithZeroOnEveryStop) {
    ScratchDir dir;
    const struct {
        uint32_t width, height;
        int status;
        std::string line;
    } pictures[] = {
        {8193, 4096, 1, "too large to preview: at most 33554432 pixels"},
        {16384, 16383, 1, "too large to preview: at most 33554432 pixels"},
        {2048, 2048, 1, "Not enough image data"},  // within the limit
        {4, 2, 0, "http://127.0.0.1:"},
    };
    for (const auto& c : pictures) {
        // Padded past its end, so that the file is long enough for what its
        // header claims and the preview's own limit is what refuses it.
        write_file(dir / "in.png", with_size(valid_png_bytes(), c.width, c.height) + std::string(1100000, '\0'));
        PreviewServer server(dir / "in.png");
        EXPECT_EQ(server.stop(), c.status) << c.width << "x" << c.height;
        EXPECT_NE(server.line.find(c.line), std::string::npos) << server.line;
        EXPECT_LT(server.max_rss_kb, 100 * 1024) << c.width << "x" << c.height;
    }
    ASSERT_EQ(mkfifo((dir / "fifo.png").c_str(), 0600), 0);
    for (int k = 0; k < 200; ++k) {
        const int signal = k % 2 == 0 ? SIGINT : SIGTERM;
        PreviewServer server(dir / (k % 40 == 1 ? "fifo.png" : "in.png"), k % 4 < 2 ? signal : 0);
        EXPECT_EQ(server.stop(signal, k % 4 < 2 ? k % 8 / 4 : 1 + k % 8 / 4), 0) << "start " << k;
    }
}

TEST(Preview, ShowsTheChosenFrameOfAVideo) {
    if (run_shell("command -v ffmpeg").status != 0) SKIP_UNLESS_CI("ffmpeg is not installed");
    ScratchDir dir;
    ASSERT_EQ(run_shell("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=10 -t 6 -g 8 "
                        "-pix_fmt yuv420p " + shell_quote(dir / "clip.mp4")).status, 0);
    // Every frame as apply writes it, to compare the chosen ones with.
    ASSERT_EQ(run_rururev({"apply", dir / "clip.mp4", dir / "frames/", "tovoRGB", "0"}).status, 0);
    PreviewServer server(dir / "clip.mp4");
    ASSERT_GT(server.port, 0);
    const Reply info = get(server, "/filters.json?token=" + server.token);
    EXPECT_NE(info.body.find("\"video\":true,\"frames\":60"), std::string::npos) << info.body;

    // Frame 5, then frame 2 (the decoder starts again), then frames far
    // ahead and one back (it seeks), each that frame of the video, filtered
    // as `rururev apply` filters that frame saved as a picture.
    std::string first;
    for (const int frame : {5, 2, 50, 49, 17, 59}) {
        const std::string at = "&frame=" + std::to_string(frame == 59 ? 1000000 : frame);
        const Reply original = get(server, "/original.png?token=" + server.token + at);
        const Reply shown = render(server, "tovoHSV 30 20 0 0", at);
        ASSERT_TRUE(original.status == 200 && shown.status == 200) << frame;
        if (first.empty()) first = original.body;
        else EXPECT_NE(original.body, first) << "frames " << frame << " and 5 look the same";
        write_file(dir / "frame.png", original.body);
        const std::string number = std::to_string(frame + 1), name = "frames/" + std::string(6 - number.size(), '0') + number + ".png";
        EXPECT_TRUE(decode(original.body, dir / "o.png").words == decode(read_file(dir / name), dir / "o.png").words)
            << frame;
        ASSERT_EQ(run_rururev({"apply", dir / "frame.png", dir / "out.png", "tovoHSV", "30", "20", "0",
                               "0"}).status, 0);
        std::string error;
        rururev::image::Raster expected;
        ASSERT_TRUE(rururev::image::load_png(dir / "out.png", expected, error)) << error;
        EXPECT_TRUE(decode(shown.body, dir / "shown.png").words == expected.words) << frame;
    }
    EXPECT_EQ(server.stop(), 0);
}

// Out of descriptors, with more idle connections than it can hold, it
// neither spins on its listener nor stops answering.
TEST(Preview, OutOfDescriptorsItNeitherSpinsNorStopsAnswering) {
    PreviewServer server("", 0, 24);
    ASSERT_GT(server.port, 0) << server.line;
    std::vector<int> idle;
    for (int k = 0; k < 60; ++k) idle.push_back(connect_to(server.port));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long cpu_ms = server.cpu_ms();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_LT(server.cpu_ms() - cpu_ms, 100) << "ms of CPU in a second of idle connections";
    EXPECT_EQ(get(server, "/filters.json?token=" + server.token).status, 200);
    for (const int fd : idle) close(fd);
    EXPECT_EQ(server.stop(), 0) << server.later;
}
