// Raw loopback TCP peers for the collect tests: a listener to connect to, the accepted end of a
// connection, and a listener whose backlog is full so that a connect to it never completes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace loopback {

inline sockaddr_in address_of(std::uint16_t port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return where;
}

// One socket descriptor, closed with the object.
class Socket {
  public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket() { reset(); }
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int fd() const { return fd_; }
    void reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    // Closes with a reset (RST) instead of an orderly close.
    void reset_connection() {
        linger abort{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        reset();
    }
    void send_all(const std::string& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t count = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (count <= 0) return;
            done += static_cast<std::size_t>(count);
        }
    }
    // Reads until `end` has arrived (or the peer closed), waiting at most a few seconds.
    std::string read_until(char end) const {
        std::string bytes;
        for (;;) {
            pollfd readable{fd_, POLLIN, 0};
            if (poll(&readable, 1, 5000) <= 0) return bytes;
            char c = 0;
            if (recv(fd_, &c, 1, 0) != 1) return bytes;
            if (c == end) return bytes;
            bytes.push_back(c);
        }
    }

  private:
    int fd_;
};

// A listener on 127.0.0.1, on a free port.
class Listener {
  public:
    explicit Listener(int backlog = 8) : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in where = address_of(0);
        bind(socket_.fd(), reinterpret_cast<const sockaddr*>(&where), sizeof where);
        listen(socket_.fd(), backlog);
        socklen_t size = sizeof where;
        getsockname(socket_.fd(), reinterpret_cast<sockaddr*>(&where), &size);
        port_ = ntohs(where.sin_port);
    }
    std::uint16_t port() const { return port_; }
    // The next connection, waiting at most a few seconds; an empty Socket when none came.
    Socket accept_one() const {
        pollfd readable{socket_.fd(), POLLIN, 0};
        if (poll(&readable, 1, 5000) <= 0) return Socket();
        return Socket(accept4(socket_.fd(), nullptr, nullptr, SOCK_CLOEXEC));
    }

  private:
    Socket socket_;
    std::uint16_t port_ = 0;
};

// A port on which nothing listens (it was free a moment ago).
inline std::uint16_t unused_port() {
    return Listener().port();
}

// A non-blocking connect; true when it completed within wait_ms.
inline bool connect_within(Socket& client, std::uint16_t port, int wait_ms) {
    client = Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_in where = address_of(port);
    if (connect(client.fd(), reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0)
        return true;
    pollfd writable{client.fd(), POLLOUT, 0};
    return poll(&writable, 1, wait_ms) > 0;
}

// Connections in state SYN-SENT towards 127.0.0.1:port, from /proc/net/tcp.
inline int syn_sent_count(std::uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // heading
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", static_cast<unsigned>(port));
    int count = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (remote == wanted && state == "02") ++count;
    }
    return count;
}

// A listener whose accept queue is full: listen(fd, 0) takes one connection, and the connects
// after it get no answer, so they stay pending until the system gives up after minutes.
class FullListener {
  public:
    FullListener() : listener_(0) {
        connect_within(queued_, listener_.port(), 2000);
        pending_connect_completed_ = connect_within(pending_, listener_.port(), 200);
    }
    std::uint16_t port() const { return listener_.port(); }
    // False when the kernel accepted a connection beyond the full queue after all.
    bool holds_connects() const { return !pending_connect_completed_; }

  private:
    Listener listener_;
    Socket queued_;
    Socket pending_;
    bool pending_connect_completed_ = false;
};

// Waits (briefly polling /proc, at most 5 s) until `count` connects to port are pending.
inline bool wait_for_pending_connects(std::uint16_t port, int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (syn_sent_count(port) < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace loopback
