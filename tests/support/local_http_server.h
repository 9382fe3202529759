#pragma once
// A small HTTP server on 127.0.0.1 for tests: one thread, one connection at a
// time, fixed answers by path. A path can be set to never answer (the
// connection is accepted and held open until the server stops), so that tests
// can check time-outs and aborts. Every request's path is recorded.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ktest {

class LocalHttpServer {
public:
    struct Answer {
        int status = 200;
        std::string body;
        bool silent = false; // accept, read the request, never answer
    };

    LocalHttpServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(fd_, 16) != 0)
            return;
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }

    ~LocalHttpServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int c : held_)
            ::close(c);
        if (fd_ >= 0) ::close(fd_);
    }

    int Port() const { return port_; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    void Set(const std::string& path, Answer answer) {
        std::lock_guard lock(mutex_);
        answers_[path] = std::move(answer);
    }
    void Set(const std::string& path, const std::string& body) { Set(path, Answer{200, body}); }

    std::vector<std::string> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    int RequestCount(const std::string& path) const {
        int n = 0;
        for (const std::string& p : Requests())
            n += p == path;
        return n;
    }

private:
    void Run() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            Serve(c);
        }
    }

    void Serve(int c) {
        std::string request;
        char buf[2048];
        while (request.find("\r\n\r\n") == std::string::npos && !stop_) {
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = ::read(c, buf, sizeof buf);
            if (n <= 0) break;
            request.append(buf, static_cast<size_t>(n));
        }
        // "GET /path HTTP/1.1"
        const size_t sp1 = request.find(' ');
        const size_t sp2 = request.find(' ', sp1 + 1);
        const std::string path = sp1 == std::string::npos || sp2 == std::string::npos
                                     ? std::string()
                                     : request.substr(sp1 + 1, sp2 - sp1 - 1);
        Answer answer{404, "not found"};
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(path);
            if (auto it = answers_.find(path); it != answers_.end()) answer = it->second;
        }
        if (answer.silent) {
            held_.push_back(c); // closed when the server stops
            return;
        }
        std::string out =
            "HTTP/1.1 " + std::to_string(answer.status) + (answer.status < 400 ? " OK" : " Error") +
            "\r\nContent-Type: text/plain\r\nContent-Length: " +
            std::to_string(answer.body.size()) + "\r\nConnection: close\r\n\r\n" + answer.body;
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::send(c, out.data() + done, out.size() - done, MSG_NOSIGNAL);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(c);
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<int> held_; // server thread, then the destructor after the join
    mutable std::mutex mutex_;
    std::map<std::string, Answer> answers_; // guarded by mutex_
    std::vector<std::string> requests_;     // guarded by mutex_
};

} // namespace ktest
