// Raw loopback TCP peers for the collect tests: a listener to connect to, the accepted end of a
// connection, and a listener whose backlog is full so that a connect to it never completes.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/sim_socket.h"

namespace loopback {

// Waits at most wait_ms until socket can be read (or written); false on timeout.
inline bool ready_within(SimSocket socket, bool write, int wait_ms) {
    std::vector<SimPollEntry> watched{{socket, !write, write}};
    return poll_sockets(watched, wait_ms) > 0;
}

// One non-blocking socket, closed with the object.
class Socket {
  public:
    explicit Socket(SimSocket fd = no_sim_socket) : fd_(fd) {}
    ~Socket() { reset(); }
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = no_sim_socket; }
    Socket& operator=(Socket&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.fd_;
            other.fd_ = no_sim_socket;
        }
        return *this;
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    SimSocket fd() const { return fd_; }
    void reset() {
        close_sim_socket(fd_);
        fd_ = no_sim_socket;
    }
    // Closes with a reset (RST) instead of an orderly close.
    void reset_connection() {
        reset_sim_socket(fd_);
        fd_ = no_sim_socket;
    }
    // Sends every byte, waiting a few seconds at most for room.
    void send_all(const std::string& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const std::int64_t count = send_some(fd_, bytes.data() + done, bytes.size() - done);
            if (count == would_block && ready_within(fd_, true, 5000)) continue;
            if (count <= 0) return;
            done += static_cast<std::size_t>(count);
        }
    }
    // Reads until `end` has arrived (or the peer closed), waiting at most a few seconds.
    std::string read_until(char end) const {
        std::string bytes;
        for (;;) {
            if (!ready_within(fd_, false, 5000)) return bytes;
            char c = 0;
            const std::int64_t count = receive_some(fd_, &c, 1);
            if (count == would_block) continue;
            if (count != 1 || c == end) return bytes;
            bytes.push_back(c);
        }
    }

  private:
    SimSocket fd_;
};

// A listener on 127.0.0.1, on a free port.
class Listener {
  public:
    explicit Listener(int backlog = 8) {
        std::string error;
        socket_ = Socket(open_listener("127.0.0.1", 0, backlog, false, error));
        port_ = local_port(socket_.fd());
    }
    std::uint16_t port() const { return port_; }
    // The next connection, waiting at most a few seconds; an empty Socket when none came.
    Socket accept_one() const {
        if (!ready_within(socket_.fd(), false, 5000)) return Socket();
        return Socket(accept_connection(socket_.fd(), true));
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
    client = Socket(start_connect("127.0.0.1", port));
    return client.fd() != no_sim_socket && ready_within(client.fd(), true, wait_ms);
}

// Connections in state SYN-SENT towards 127.0.0.1:port, from /proc/net/tcp; -1 where there is none.
inline int syn_sent_count(std::uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    if (!table) return -1;
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
