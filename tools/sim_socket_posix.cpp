// The simulator's sockets on POSIX.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/sim_socket.h"

namespace {

int fd_of(SimSocket socket) {
    return static_cast<int>(socket);
}

int flags_for(bool non_blocking) {
    return SOCK_CLOEXEC | (non_blocking ? SOCK_NONBLOCK : 0);
}

std::int64_t outcome(ssize_t count) {
    if (count >= 0) return count;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? would_block : -1;
}

}  // namespace

bool start_sim_sockets() {
    return true;
}

SimSocket open_listener(const std::string& address, std::uint16_t port, int backlog,
                        bool non_blocking, std::string& error) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return no_sim_socket;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | flags_for(non_blocking), 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return no_sim_socket;
    }
    const int reuse = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        listen(fd, backlog) != 0) {
        error = std::strerror(errno);
        close(fd);
        return no_sim_socket;
    }
    return fd;
}

std::uint16_t local_port(SimSocket socket) {
    sockaddr_in where{};
    socklen_t size = sizeof where;
    if (getsockname(fd_of(socket), reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
    return ntohs(where.sin_port);
}

SimSocket accept_connection(SimSocket listener, bool non_blocking) {
    const int fd = accept4(fd_of(listener), nullptr, nullptr, flags_for(non_blocking));
    return fd < 0 ? no_sim_socket : fd;
}

SimSocket start_connect(const std::string& address, std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | flags_for(true), 0);
    if (fd < 0) return no_sim_socket;
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        close(fd);
        return no_sim_socket;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 &&
        errno != EINPROGRESS) {
        close(fd);
        return no_sim_socket;
    }
    return fd;
}

std::int64_t send_some(SimSocket socket, const char* bytes, std::size_t count) {
    return outcome(send(fd_of(socket), bytes, count, MSG_NOSIGNAL));
}

std::int64_t receive_some(SimSocket socket, char* bytes, std::size_t capacity) {
    return outcome(recv(fd_of(socket), bytes, capacity, 0));
}

void close_sim_socket(SimSocket socket) {
    if (socket != no_sim_socket) close(fd_of(socket));
}

void reset_sim_socket(SimSocket socket) {
    linger abort{1, 0};
    setsockopt(fd_of(socket), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close_sim_socket(socket);
}

int poll_sockets(std::vector<SimPollEntry>& entries, int timeout_ms) {
    std::vector<pollfd> watched;
    for (const SimPollEntry& entry : entries) {
        const short events =
            static_cast<short>((entry.want_read ? POLLIN : 0) | (entry.want_write ? POLLOUT : 0));
        watched.push_back({fd_of(entry.socket), events, 0});
    }
    const int ready = poll(watched.data(), watched.size(), timeout_ms);
    if (ready < 0) return errno == EINTR ? 0 : -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].readable = (watched[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
        entries[i].writable = (watched[i].revents & (POLLOUT | POLLERR)) != 0;
    }
    return ready;
}
