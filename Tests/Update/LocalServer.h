#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for the update check's tests: one connection at a time, a canned reply
// per path, every connection closed after its reply. It serves at most `maxRequests` requests and stops after
// `lifetime`, whatever happens, so a test can never hang on it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <utility>

namespace testing_support {

class LocalServer {
public:
    struct Reply {
        std::string bytes;  // the whole response as sent
        bool hang = false;  // read the request, then send nothing until the server stops
    };

    // A response with a length, or delimited by closing the connection.
    static Reply reply(int status, const std::string& body, const std::string& headers = "", bool withLength = true) {
        std::string out = "HTTP/1.1 " + std::to_string(status) + " Status\r\nConnection: close\r\n" + headers;
        if (withLength) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        return {out + "\r\n" + body, false};
    }
    static Reply redirect(int status, const std::string& location, const std::string& body = "") {
        return reply(status, body, "Location: " + location + "\r\n");
    }
    static Reply hanging() { return {"", true}; }

    explicit LocalServer(std::map<std::string, Reply> routes, int maxRequests = 64,
                         std::chrono::seconds lifetime = std::chrono::seconds(60))
        : routes_(std::move(routes)), maxRequests_(maxRequests),
          deadline_(std::chrono::steady_clock::now() + lifetime) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener_, 8) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LocalServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    bool listening() const { return port_ != 0; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int requests() const { return requests_; }

private:
    bool expired() const { return stop_ || std::chrono::steady_clock::now() > deadline_; }

    // Waits up to 50 ms for `events` on `fd`.
    static bool ready(int fd, short events) {
        pollfd p{fd, events, 0};
        return ::poll(&p, 1, 50) > 0;
    }

    void serve() {
        while (!expired() && requests_ < maxRequests_) {
            if (!ready(listener_, POLLIN)) continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            handle(fd);
            ::close(fd);
        }
    }

    void handle(int fd) {
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384 && !expired()) {
            if (!ready(fd, POLLIN)) continue;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) return;
            request.append(buffer, static_cast<size_t>(n));
        }
        ++requests_;
        // "GET /path HTTP/1.1"
        const size_t start = request.find(' ') + 1, end = request.find(' ', start);
        const auto route = routes_.find(request.substr(start, end - start));
        const Reply reply = route == routes_.end() ? LocalServer::reply(404, "no such path") : route->second;
        if (reply.hang) {  // until the client gives up and closes
            while (!expired())
                if (ready(fd, POLLIN) && ::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
            return;
        }
        size_t sent = 0;
        while (sent < reply.bytes.size() && !expired()) {
            if (!ready(fd, POLLOUT)) continue;
            const ssize_t n = ::send(fd, reply.bytes.data() + sent, reply.bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;  // the client went away
            sent += static_cast<size_t>(n);
        }
    }

    std::map<std::string, Reply> routes_;
    int maxRequests_;
    std::chrono::steady_clock::time_point deadline_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

}  // namespace testing_support
