// The simulator's sockets on Winsock 2, polled with WSAPoll.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

#include "tools/sim_socket.h"

namespace {

SOCKET socket_of(SimSocket socket) {
    return static_cast<SOCKET>(socket);
}

SimSocket from_socket(SOCKET s) {
    return s == INVALID_SOCKET ? no_sim_socket : static_cast<SimSocket>(s);
}

bool set_non_blocking(SOCKET s, bool non_blocking) {
    u_long mode = non_blocking ? 1 : 0;
    return ioctlsocket(s, FIONBIO, &mode) == 0;
}

std::int64_t outcome(int count) {
    if (count != SOCKET_ERROR) return count;
    return WSAGetLastError() == WSAEWOULDBLOCK ? would_block : -1;
}

std::string last_error_text() {
    return "Winsock error " + std::to_string(WSAGetLastError());
}

}  // namespace

bool start_sim_sockets() {
    static bool started = false;
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA granted{};
        started = WSAStartup(MAKEWORD(2, 2), &granted) == 0;  // kept until the process ends
    });
    return started;
}

SimSocket open_listener(const std::string& address, std::uint16_t port, int backlog,
                        bool non_blocking, std::string& error) {
    if (!start_sim_sockets()) {
        error = "Winsock does not start";
        return no_sim_socket;
    }
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return no_sim_socket;
    }
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = last_error_text();
        return no_sim_socket;
    }
    // Windows lets SO_REUSEADDR take a port another program listens on: only sole use is safe.
    const BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    if (bind(s, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        listen(s, backlog) != 0 || !set_non_blocking(s, non_blocking)) {
        error = last_error_text();
        closesocket(s);
        return no_sim_socket;
    }
    return from_socket(s);
}

std::uint16_t local_port(SimSocket socket) {
    sockaddr_in where{};
    int size = sizeof where;
    if (getsockname(socket_of(socket), reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
    return ntohs(where.sin_port);
}

SimSocket accept_connection(SimSocket listener, bool non_blocking) {
    const SOCKET s = accept(socket_of(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) return no_sim_socket;
    set_non_blocking(s, non_blocking);  // an accepted socket would inherit the listener's mode
    return from_socket(s);
}

SimSocket start_connect(const std::string& address, std::uint16_t port) {
    if (!start_sim_sockets()) return no_sim_socket;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return no_sim_socket;
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1 || !set_non_blocking(s, true) ||
        (connect(s, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 &&
         WSAGetLastError() != WSAEWOULDBLOCK)) {
        closesocket(s);
        return no_sim_socket;
    }
    return from_socket(s);
}

std::int64_t send_some(SimSocket socket, const char* bytes, std::size_t count) {
    return outcome(send(socket_of(socket), bytes, static_cast<int>(count), 0));
}

std::int64_t receive_some(SimSocket socket, char* bytes, std::size_t capacity) {
    return outcome(recv(socket_of(socket), bytes, static_cast<int>(capacity), 0));
}

void close_sim_socket(SimSocket socket) {
    if (socket != no_sim_socket) closesocket(socket_of(socket));
}

void reset_sim_socket(SimSocket socket) {
    linger abort{1, 0};
    setsockopt(socket_of(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
               sizeof abort);
    close_sim_socket(socket);
}

int poll_sockets(std::vector<SimPollEntry>& entries, int timeout_ms) {
    std::vector<WSAPOLLFD> watched;
    for (const SimPollEntry& entry : entries) {
        const SHORT events = static_cast<SHORT>((entry.want_read ? POLLRDNORM : 0) |
                                                (entry.want_write ? POLLWRNORM : 0));
        watched.push_back({socket_of(entry.socket), events, 0});
    }
    const int ready = WSAPoll(watched.data(), static_cast<ULONG>(watched.size()), timeout_ms);
    if (ready == SOCKET_ERROR) return -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].readable = (watched[i].revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
        entries[i].writable = (watched[i].revents & (POLLWRNORM | POLLERR)) != 0;
    }
    return ready;
}
