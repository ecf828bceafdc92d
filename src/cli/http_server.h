// A small HTTP/1.1 server for one local page, on a poll loop: every byte a
// client sends is counted against fixed limits while it is read, each
// connection has a deadline for its whole request, and the number of
// connections is capped, the oldest unfinished one (or else the answer
// stalled longest) making room for a new one, also when the process runs
// out of descriptors. No request waits for another: the loop never runs a
// handler's work, it only reads, routes and writes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace rururev::cli {

struct HttpLimits {
    size_t max_request_line = 8 * 1024;
    size_t max_head = 16 * 1024;  // request line and headers
    size_t max_headers = 64;
    size_t max_body = 16 * 1024;
    int request_ms = 3000;   // from accept to the last byte of the request
    int response_ms = 30000; // for writing the answer
    int linger_ms = 1000;    // reading what a refused client still sends
    size_t max_connections = 32;
};

struct HttpRequest {
    std::string method, path, query, body;
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case

    // The value of a header (name in lower case), or "" when absent.
    std::string header(const std::string& name) const;
    bool has_header(const std::string& name) const;
    // The raw value of a query parameter, or "" when absent.
    std::string param(const std::string& name) const;
};

struct HttpResponse {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::string body;
    // Sent in place of `body` when set: one copy for every answer that
    // carries it, however slowly each is read.
    std::shared_ptr<const std::string> shared_body;
    std::string allow;  // the methods a 405 names
};

// True when `text` is ASCII digits only (also when empty).
bool all_digits(const std::string& text);

HttpResponse text_response(int status, const std::string& text);

class HttpServer {
public:
    // Called on the loop's thread for each whole request; the answer is
    // given through answer(), from any thread, now or later.
    using Handler = std::function<void(const HttpRequest&, uint64_t connection)>;

    explicit HttpServer(HttpLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free port); false with the reason.
    bool listen(int port, std::string& error);
    int port() const { return port_; }

    // Serves until `stop_fd` becomes readable; false with the reason when
    // the loop cannot go on.
    bool run(int stop_fd, const Handler& handler, std::string& error);

    // Answers the request of `connection`; a connection already gone is
    // skipped. Safe from any thread.
    void answer(uint64_t connection, const HttpResponse& response);

    struct Connection;
    // An answer's head and its body, which answers may share.
    struct Outgoing {
        std::string head;
        std::shared_ptr<const std::string> body;
    };

private:
    void take_answers();
    void accept_new();
    bool evict_one();
    void read_from(Connection& c, const Handler& handler);
    void write_to(Connection& c);

    HttpLimits limits_;
    int listen_fd_ = -1;
    int wake_fd_ = -1;
    int port_ = 0;
    uint64_t next_id_ = 1;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::mutex answers_mutex_;
    std::vector<std::pair<uint64_t, Outgoing>> answers_;
    // Set while the listener is not polled, after running out of
    // descriptors with none to free.
    std::chrono::steady_clock::time_point accept_paused_until_{};
};

}  // namespace rururev::cli
