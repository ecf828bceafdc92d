// rururev preview as a server: what it answers, what it refuses, that its
// pictures are the words of `rururev apply`, where it listens and how it stops.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "image/png_io.h"
#include "scratch.h"

namespace {

// The program serving IN on a free port, stopped with Ctrl-C at the end.
class PreviewServer {
public:
    explicit PreviewServer(const std::string& input) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            const std::string program = build_dir() + "/rururev";
            execl(program.c_str(), program.c_str(), "preview", "--port", "0", input.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        // The first line names the address: "rururev preview: http://127.0.0.1:PORT/ ...".
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        const size_t at = line.find("127.0.0.1:");
        if (at != std::string::npos) port = std::atoi(line.c_str() + at + 10);
    }
    // Sends SIGINT and returns the exit status.
    int stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGINT);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    ~PreviewServer() { stop(); }

    int port = 0;

private:
    pid_t pid_ = -1;
};

std::string url_words(const std::string& words) {
    std::string out;
    for (const char c : words) out += c == ' ' ? "%20" : c == '+' ? "%2B" : std::string(1, c);
    return out;
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

TEST(Preview, AnswersItsOwnPageOnlyAndGivesTheWordsOfApply) {
    ScratchDir dir;
    ASSERT_EQ(run_rururev({"gallery", dir / "g"}).status, 0);
    const std::string input = dir / "g/original.png";
    PreviewServer server(input);
    ASSERT_GT(server.port, 0);
    const std::string address = "127.0.0.1:" + std::to_string(server.port);

    EXPECT_EQ(listening_addresses(server.port), "0100007F:" + [&] {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", server.port);
        return std::string(hex);
    }() + " ");

    httplib::Client client("127.0.0.1", server.port);
    const struct {
        std::string target, host;
        int status;
        std::string fragment;
    } cases[] = {
        {"/", address, 200, "<title>rururev preview"},
        {"/filters.json", address, 200, "\"tovoHSV\""},
        {"/", "evil.example", 403, "answers only http://" + address},
        {"/", "localhost:" + std::to_string(server.port), 403, "answers only"},
        {"/../../etc/passwd", address, 404, ""},
        {"/src/cli/preview.cpp", address, 404, ""},
        {"/render?cmd=" + url_words("tovoHSV x 0 0 0"), address, 400, "must be a number"},
        {"/render?cmd=" + url_words("tovoRGB 1 2 3 4 5"), address, 400, "tovoRGB"},
        {"/render?cmd=" + url_words("nosuch 1"), address, 400, "nosuch"},
        {"/render?cmd=" + url_words("--raw 4x4 tovoRGB 1"), address, 400, "no option '--raw'"},
        {"/render?cmd=" + url_words("--curve 1:2 tovoInterRGB 1 0 0"), address, 400, "--curve"},
        {"/render?cmd=" + std::string(20000, 'a'), address, 414, ""},
        {"/", address, 200, "<title>rururev preview"},
    };
    for (const auto& c : cases) {
        const auto reply = client.Get(c.target.c_str(), {{"Host", c.host}});
        const std::string label = c.target.substr(0, 80) + " with Host " + c.host;
        ASSERT_TRUE(reply) << label << ": no answer";
        EXPECT_EQ(reply->status, c.status) << label;
        EXPECT_NE(reply->body.find(c.fragment), std::string::npos)
            << label << ": " << reply->body.substr(0, 200);
    }

    // Each picture is the words of a fresh `rururev apply`, also when the
    // module's state (curve, frame store) was used by the request before.
    for (const std::string words :
         {"--curve 0:-10:1,100:-20:101 tovoInterRGB 100 0 256 + tovoHSV 10 20 0 0",
          "tovoFrameCBA 0 12 12 12 4 0xFF0000 true", "tovoHSV 10 20 0 0",
          "tovoFrameCBA 0 12 12 12 4 0xFF0000 true"}) {
        const auto reply = client.Get(("/render?cmd=" + url_words(words)).c_str());
        ASSERT_TRUE(reply && reply->status == 200) << words;
        std::istringstream split(words);
        std::vector<std::string> args = {"apply"};
        for (std::string w; split >> w;) args.push_back(w);
        const size_t options = args[1] == "--curve" ? 2 : 0;
        args.insert(args.begin() + 1 + options, {input, dir / "apply.png"});
        ASSERT_EQ(run_rururev(args).status, 0) << words;
        rururev::image::Raster expected, got = decode(reply->body, dir / "page.png");
        std::string error;
        ASSERT_TRUE(rururev::image::load_png(dir / "apply.png", expected, error)) << error;
        EXPECT_EQ(got.width, expected.width);
        EXPECT_TRUE(got.words == expected.words) << words;
    }

    EXPECT_EQ(server.stop(), 0);
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
    httplib::Client client("127.0.0.1", server.port);
    const auto info = client.Get("/filters.json");
    ASSERT_TRUE(info);
    EXPECT_NE(info->body.find("\"video\":true,\"frames\":60"), std::string::npos) << info->body;

    // Frame 5, then frame 2 (the decoder starts again), then frames far
    // ahead and one back (it seeks), each that frame of the video, filtered
    // as `rururev apply` filters that frame saved as a picture.
    std::string first;
    for (const int frame : {5, 2, 50, 49, 17}) {
        const std::string at = "&frame=" + std::to_string(frame);
        const auto original = client.Get(("/original.png?frame=" + std::to_string(frame)).c_str());
        const auto shown = client.Get(("/render?cmd=" + url_words("tovoHSV 30 20 0 0") + at).c_str());
        ASSERT_TRUE(original && shown && original->status == 200 && shown->status == 200);
        if (first.empty()) first = original->body;
        else EXPECT_NE(original->body, first) << "frames 5 and 2 look the same";
        write_file(dir / "frame.png", original->body);
        const std::string number = std::to_string(frame + 1), name = "frames/" + std::string(6 - number.size(), '0') + number + ".png";
        EXPECT_TRUE(decode(original->body, dir / "o.png").words == decode(read_file(dir / name), dir / "o.png").words)
            << frame;
        ASSERT_EQ(run_rururev({"apply", dir / "frame.png", dir / "out.png", "tovoHSV", "30", "20", "0",
                               "0"}).status, 0);
        std::string error;
        rururev::image::Raster expected;
        ASSERT_TRUE(rururev::image::load_png(dir / "out.png", expected, error)) << error;
        EXPECT_TRUE(decode(shown->body, dir / "shown.png").words == expected.words) << frame;
    }
    EXPECT_EQ(server.stop(), 0);
}
