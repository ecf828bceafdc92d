#include "cli/http_server.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rururev::cli {

namespace {

using Clock = std::chrono::steady_clock;

using Outgoing = HttpServer::Outgoing;

// Reads and writes go through this much at a time.
constexpr size_t io_chunk = 16 * 1024;
// New connections taken per turn of the loop, so that a burst of them
// cannot push out one whose request has arrived but is not read yet.
constexpr int accepts_per_turn = 8;
// How long the listener rests when the process is out of descriptors and
// no connection can be let go to free one.
constexpr auto accept_pause = std::chrono::milliseconds(100);

const char* reason_of(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 409: return "Conflict";
        case 411: return "Length Required";
        case 413: return "Content Too Large";
        case 414: return "URI Too Long";
        case 415: return "Unsupported Media Type";
        case 431: return "Request Header Fields Too Large";
        case 501: return "Not Implemented";
        case 505: return "HTTP Version Not Supported";
        default: return status < 500 ? "Client Error" : "Server Error";
    }
}

// The whole answer, headers and body. Every answer closes its connection,
// may not be kept or framed, may not be read by another site's page, and
// sends no address of it on.
Outgoing serialize(const HttpResponse& r) {
    const size_t length = r.shared_body ? r.shared_body->size() : r.body.size();
    std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " + reason_of(r.status) +
                       "\r\nContent-Type: " + r.content_type +
                       "\r\nContent-Length: " + std::to_string(length) +
                       "\r\nCache-Control: no-store"
                       "\r\nX-Content-Type-Options: nosniff"
                       "\r\nX-Frame-Options: DENY"
                       "\r\nContent-Security-Policy: frame-ancestors 'none'"
                       "\r\nCross-Origin-Resource-Policy: same-origin"
                       "\r\nReferrer-Policy: no-referrer"
                       "\r\nConnection: close\r\n";
    if (!r.allow.empty()) head += "Allow: " + r.allow + "\r\n";
    head += "\r\n";
    if (r.shared_body) return {std::move(head), r.shared_body};
    return {head + r.body, nullptr};
}

bool is_token_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

}  // namespace

enum class State { reading, waiting, writing, lingering, closed };

struct HttpServer::Connection {
    int fd = -1;
    uint64_t id = 0;
    State state = State::reading;
    Clock::time_point started, deadline;
    std::string in;          // at most the head and the declared body
    size_t scanned = 0;      // the head is parsed up to here
    size_t head_size = 0;    // set once the empty line has come
    size_t body_size = 0;
    HttpRequest request;
    Outgoing out;
    size_t written = 0;
    Clock::time_point progressed;  // when the answer last moved on

    size_t out_size() const { return out.head.size() + (out.body ? out.body->size() : 0); }

    void close_now() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        state = State::closed;
    }
};

std::string HttpRequest::header(const std::string& name) const {
    for (const auto& h : headers) {
        if (h.first == name) return h.second;
    }
    return "";
}

bool all_digits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool HttpRequest::has_header(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return h.first == name; });
}

std::string HttpRequest::param(const std::string& name) const {
    size_t at = 0;
    while (at <= query.size()) {
        size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        const std::string pair = query.substr(at, end - at);
        if (pair.compare(0, name.size() + 1, name + "=") == 0) return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return "";
}

HttpResponse text_response(int status, const std::string& text) {
    HttpResponse r;
    r.status = status;
    r.body = text + "\n";
    return r;
}

HttpServer::HttpServer(HttpLimits limits) : limits_(limits) {}

HttpServer::~HttpServer() {
    for (auto& c : connections_) c->close_now();
    if (listen_fd_ >= 0) ::close(listen_fd_);
    if (wake_fd_ >= 0) ::close(wake_fd_);
}

bool HttpServer::listen(int port, std::string& error) {
    const std::string where = "127.0.0.1:" + std::to_string(port);
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (listen_fd_ < 0 || wake_fd_ < 0) {
        error = "cannot listen on " + where + ": " + std::strerror(errno);
        return false;
    }
    const int on = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, 64) != 0 ||
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        error = "cannot listen on " + where + ": " + std::strerror(errno);
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

void HttpServer::answer(uint64_t connection, const HttpResponse& response) {
    Outgoing bytes = serialize(response);
    {
        std::lock_guard<std::mutex> hold(answers_mutex_);
        answers_.emplace_back(connection, std::move(bytes));
    }
    const uint64_t one = 1;
    if (write(wake_fd_, &one, sizeof one) < 0) {
        // The counter is full: the loop is awake already.
    }
}

void HttpServer::take_answers() {
    uint64_t count;
    if (read(wake_fd_, &count, sizeof count) < 0) {
        // Nothing was pending.
    }
    std::vector<std::pair<uint64_t, Outgoing>> ready;
    {
        std::lock_guard<std::mutex> hold(answers_mutex_);
        ready.swap(answers_);
    }
    for (auto& [id, bytes] : ready) {
        for (auto& c : connections_) {
            if (c->id != id || c->state != State::waiting) continue;
            c->out = std::move(bytes);
            c->written = 0;
            c->state = State::writing;
            c->progressed = Clock::now();
            c->deadline = c->progressed + std::chrono::milliseconds(limits_.response_ms);
        }
    }
}

// Closes one connection to make room: the oldest that has not finished its
// request or is being let go, or else the answer that has moved on least
// recently (a client that asks and never reads). Requests being worked on
// stay. False when there is none.
bool HttpServer::evict_one() {
    Connection* victim = nullptr;
    for (auto& c : connections_) {
        if ((c->state == State::reading || c->state == State::lingering) &&
            (victim == nullptr || c->started < victim->started)) {
            victim = c.get();
        }
    }
    const bool unfinished = victim != nullptr;
    for (auto& c : connections_) {
        if (!unfinished && c->state == State::writing &&
            (victim == nullptr || c->progressed < victim->progressed)) {
            victim = c.get();
        }
    }
    if (victim == nullptr) return false;
    victim->close_now();
    connections_.erase(std::find_if(connections_.begin(), connections_.end(),
                                    [&](const auto& c) { return c.get() == victim; }));
    return true;
}

void HttpServer::accept_new() {
    for (int k = 0; k < accepts_per_turn; ++k) {
        const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0 && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)) {
            // The pending connection keeps the listener readable: free a
            // descriptor and take it, or rest the listener for a moment
            // rather than poll it again at once.
            if (evict_one()) continue;
            accept_paused_until_ = Clock::now() + accept_pause;
            return;
        }
        if (fd < 0) return;
        if (connections_.size() >= limits_.max_connections && !evict_one()) {
            ::close(fd);
            continue;
        }
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->id = next_id_++;
        c->started = Clock::now();
        c->deadline = c->started + std::chrono::milliseconds(limits_.request_ms);
        connections_.push_back(std::move(c));
    }
}

namespace {

// Starts sending a refusal: the connection reads no more of the request.
void refuse(HttpServer::Connection& c, const HttpLimits& limits, int status, const std::string& why) {
    c.in.clear();
    c.in.shrink_to_fit();
    HttpResponse refusal = text_response(status, why);
    if (status == 405) refusal.allow = "GET, POST";
    c.out = serialize(refusal);
    c.written = 0;
    c.state = State::writing;
    c.progressed = Clock::now();
    c.deadline = c.progressed + std::chrono::milliseconds(limits.response_ms);
}

// Parses "METHOD /path?query HTTP/1.1"; 0 when good, else the status.
int parse_request_line(const std::string& line, HttpRequest& r) {
    const size_t a = line.find(' ');
    const size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
    if (b == std::string::npos || line.find(' ', b + 1) != std::string::npos) return 400;
    r.method = line.substr(0, a);
    const std::string target = line.substr(a + 1, b - a - 1);
    const std::string version = line.substr(b + 1);
    if (r.method.empty() || !std::all_of(r.method.begin(), r.method.end(), is_token_char) ||
        target.empty() || target[0] != '/') {
        return 400;
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return 505;
    const size_t q = target.find('?');
    r.path = target.substr(0, q);
    r.query = q == std::string::npos ? "" : target.substr(q + 1);
    return 0;
}

// Parses "Name: value" into the request; false when malformed.
bool parse_header(const std::string& line, HttpRequest& r) {
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos ||
        !std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), is_token_char)) {
        return false;
    }
    std::string name = line.substr(0, colon);
    for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const size_t from = line.find_first_not_of(" \t", colon + 1);
    const size_t to = line.find_last_not_of(" \t");
    std::string value = from == std::string::npos ? "" : line.substr(from, to - from + 1);
    if (value.find_first_of(std::string("\0\r", 2)) != std::string::npos) return false;
    // A second copy of a header that decides whether to answer could say
    // something else to a proxy or a browser than the copy checked here.
    if ((name == "host" || name == "content-length" || name == "origin" || name == "sec-fetch-site") &&
        r.has_header(name)) {
        return false;
    }
    r.headers.emplace_back(std::move(name), std::move(value));
    return true;
}

// Parses as much of the head as has come; 0 while it is good, else the
// status of the refusal, with its reason in `why`.
int parse_head(HttpServer::Connection& c, const HttpLimits& limits, std::string& why) {
    while (c.head_size == 0) {
        const size_t newline = c.in.find('\n', c.scanned);
        const bool first = c.scanned == 0;
        if (newline == std::string::npos) {
            if (first && c.in.size() > limits.max_request_line) {
                why = "the request line is longer than " + std::to_string(limits.max_request_line) + " bytes";
                return 414;
            }
            if (c.in.size() > limits.max_head) {
                why = "the request's headers are longer than " + std::to_string(limits.max_head) + " bytes";
                return 431;
            }
            return 0;
        }
        std::string line = c.in.substr(c.scanned, newline - c.scanned);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        c.scanned = newline + 1;
        if (first) {
            if (line.size() > limits.max_request_line) {
                why = "the request line is longer than " + std::to_string(limits.max_request_line) + " bytes";
                return 414;
            }
            const int status = parse_request_line(line, c.request);
            if (status != 0) {
                why = "malformed request line";
                return status;
            }
        } else if (line.empty()) {
            c.head_size = c.scanned;
        } else if (c.request.headers.size() >= limits.max_headers) {
            why = "more than " + std::to_string(limits.max_headers) + " headers";
            return 431;
        } else if (line[0] == ' ' || line[0] == '\t' || !parse_header(line, c.request)) {
            why = "malformed header line";
            return 400;
        }
        if (c.scanned > limits.max_head) {
            why = "the request's headers are longer than " + std::to_string(limits.max_head) + " bytes";
            return 431;
        }
    }
    const HttpRequest& r = c.request;
    if (r.method != "GET" && r.method != "POST") {
        why = "only GET and POST are answered";
        return 405;
    }
    if (r.has_header("transfer-encoding")) {
        why = "a body in a transfer coding is not taken: send Content-Length";
        return 501;
    }
    const std::string length = r.header("content-length");
    if (length.empty()) {
        if (r.method == "POST") {
            why = "a POST needs Content-Length";
            return 411;
        }
        return 0;
    }
    if (length.size() > 12 || !all_digits(length)) {
        why = "malformed Content-Length";
        return 400;
    }
    c.body_size = 0;
    for (const char digit : length) c.body_size = c.body_size * 10 + static_cast<size_t>(digit - '0');
    if (c.body_size > limits.max_body) {
        why = "the body is longer than " + std::to_string(limits.max_body) + " bytes";
        return 413;
    }
    return 0;
}

}  // namespace

void HttpServer::read_from(Connection& c, const Handler& handler) {
    char buffer[io_chunk];
    if (c.state == State::lingering) {
        const ssize_t got = recv(c.fd, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) c.close_now();
        return;
    }
    // Never more than the head's limit, or once the head is whole, than
    // the body it declared.
    const size_t limit = c.head_size == 0 ? limits_.max_head + 1 : c.head_size + c.body_size;
    const size_t room = std::min(sizeof buffer, limit - std::min(limit, c.in.size()));
    const ssize_t got = room == 0 ? 0 : recv(c.fd, buffer, room, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {
        c.close_now();
        return;
    }
    c.in.append(buffer, static_cast<size_t>(got));
    if (c.head_size == 0) {
        std::string why;
        const int status = parse_head(c, limits_, why);
        if (status != 0) {
            refuse(c, limits_, status, why);
            return;
        }
    }
    if (c.head_size == 0 || c.in.size() < c.head_size + c.body_size) return;
    c.request.body = c.in.substr(c.head_size, c.body_size);
    c.in.clear();
    c.in.shrink_to_fit();
    c.state = State::waiting;
    handler(c.request, c.id);
}

void HttpServer::write_to(Connection& c) {
    const size_t head = c.out.head.size(), total = c.out_size();
    while (c.written < total) {
        const char* from = c.written < head ? c.out.head.data() + c.written : c.out.body->data() + (c.written - head);
        const size_t part = c.written < head ? head - c.written : total - c.written;
        const ssize_t sent = send(c.fd, from, std::min(io_chunk * 4, part), MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (sent <= 0) {
            c.close_now();
            return;
        }
        c.written += static_cast<size_t>(sent);
        c.progressed = Clock::now();
    }
    // Everything is sent: the client reads it to the end while whatever it
    // still sends is read and dropped for a moment, so that closing does
    // not reset the connection under the answer.
    c.out = {};
    shutdown(c.fd, SHUT_WR);
    c.state = State::lingering;
    c.deadline = Clock::now() + std::chrono::milliseconds(limits_.linger_ms);
}

bool HttpServer::run(int stop_fd, const Handler& handler, std::string& error) {
    std::vector<pollfd> polled;
    for (;;) {
        const bool accepting = Clock::now() >= accept_paused_until_;
        // A resting listener stays in the list, so that the indexes below
        // hold, but is not polled (a negative descriptor is skipped).
        polled.assign({{stop_fd, POLLIN, 0}, {wake_fd_, POLLIN, 0}, {accepting ? listen_fd_ : -1, POLLIN, 0}});
        Clock::time_point next = accepting ? Clock::now() + std::chrono::seconds(1) : accept_paused_until_;
        for (const auto& c : connections_) {
            short events = 0;
            if (c->state == State::reading || c->state == State::lingering) events = POLLIN;
            if (c->state == State::writing) events = POLLOUT;
            polled.push_back({c->fd, events, 0});
            if (c->state != State::waiting) next = std::min(next, c->deadline);
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
        if (poll(polled.data(), polled.size(), std::max<int>(0, static_cast<int>(wait.count()) + 1)) < 0) {
            if (errno == EINTR) continue;
            error = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        if (polled[0].revents != 0) return true;
        if (polled[1].revents != 0) take_answers();
        const auto now = Clock::now();
        for (size_t k = 0; k < connections_.size(); ++k) {
            Connection& c = *connections_[k];
            const short got = polled[k + 3].revents;
            if (c.state == State::waiting && (got & (POLLERR | POLLHUP))) {
                c.close_now();  // the client is gone; its answer is dropped
            } else if ((c.state == State::reading || c.state == State::lingering) && got != 0) {
                read_from(c, handler);
            } else if (c.state == State::writing && got != 0) {
                write_to(c);
            }
            if (c.state != State::waiting && c.state != State::closed && now >= c.deadline) {
                if (c.state == State::reading) {
                    static const std::string late = serialize(
                        text_response(408, "the request did not arrive in time")).head;
                    send(c.fd, late.data(), late.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                }
                c.close_now();
            }
        }
        connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                          [](const auto& c) { return c->state == State::closed; }),
                           connections_.end());
        if (polled[2].revents != 0) accept_new();
    }
}

}  // namespace rururev::cli
