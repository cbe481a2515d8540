// The collection cycle's socket operations on POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "collect/network.h"
#include "runtime/stop.h"

struct Connection {
    int socket_fd = -1;
};

namespace {

// The IPv4 address of text in network byte order, or INADDR_NONE. A dotted address is taken as
// inet_addr takes it (also "127.1" and "0x7f.0.0.1"); anything else is looked up as a host name,
// but only when it can be one, so malformed input causes no name-server traffic.
in_addr_t resolve_address(const std::string& text) {
    std::uint32_t dotted = 0;
    if (read_dotted_address(text, dotted)) return htonl(dotted);
    if (!looks_like_host_name(text)) return INADDR_NONE;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &answer) != 0 || answer == nullptr)
        return INADDR_NONE;
    in_addr_t found = INADDR_NONE;
    for (addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
            found = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    freeaddrinfo(answer);
    return found;
}

}  // namespace

bool read_dotted_address(std::string_view text, std::uint32_t& address) {
    in_addr parsed{};
    if (inet_aton(std::string(text).c_str(), &parsed) == 0) return false;
    address = ntohl(parsed.s_addr);
    return true;
}

namespace {

// Waits until the non-blocking connect of fd has an outcome. False when it failed or a stop was
// requested for this thread.
bool finish_connect(int fd) {
    pollfd waits[2] = {{fd, POLLOUT, 0}, {static_cast<int>(stop_wait_handle().value), POLLIN, 0}};
    for (;;) {
        if (stop_requested()) return false;
        int ready = poll(waits, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (waits[1].revents != 0 || stop_requested()) return false;
        if (waits[0].revents != 0) break;
    }
    int error = 0;
    socklen_t error_size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_size) != 0) return false;
    // A reset can only follow an accepted connection (a refused one reports ECONNREFUSED): the
    // router was reached, and whether its reset came before or after this thread looked must not
    // decide between a collection that ends quietly and a "Can't find the server" box.
    return error == 0 || error == ECONNRESET || error == EPIPE;
}

}  // namespace

int start_network() {
    return 1;
}

Connection* open_connection(std::string_view address, std::int32_t port) {
    std::string text(address.substr(0, address.find('\0')));
    if (text.empty()) return nullptr;
    std::uint16_t port_low_bits =
        static_cast<std::uint16_t>(static_cast<std::uint32_t>(port) & 0xFFFFu);
    if (port_low_bits == 0) return nullptr;

    in_addr_t address_bits = resolve_address(text);
    if (address_bits == INADDR_NONE || is_refused_address(ntohl(address_bits))) return nullptr;

    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return nullptr;

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port_low_bits);
    target.sin_addr.s_addr = address_bits;
    int result = connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    bool connected = result == 0 || (errno == EINPROGRESS && finish_connect(fd));
    if (!connected) {
        close(fd);
        return nullptr;
    }
    // The socket stays non-blocking: reads follow a positive FIONREAD, and a send to a router that
    // stopped reading fails instead of holding the worker.
    return new Connection{fd};
}

int connection_event(Connection* connection) {
    if (connection == nullptr) return no_network_event;
    int waiting = 0;
    if (ioctl(connection->socket_fd, FIONREAD, &waiting) != 0) return no_network_event;
    return waiting > 0 ? data_network_event : no_network_event;
}

bool connection_closed(Connection* connection) {
    if (connection == nullptr) return true;
    unsigned char byte = 0;
    ssize_t result = recv(connection->socket_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (result == 0) return true;
    if (result > 0) return false;
    return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
}

std::int32_t receive_bytes(Connection* connection, unsigned char* buffer, std::int32_t capacity) {
    if (connection == nullptr || buffer == nullptr || capacity < 0) return -1;
    ssize_t count = recv(connection->socket_fd, buffer, static_cast<std::size_t>(capacity), 0);
    return count < 0 ? -1 : static_cast<std::int32_t>(count);
}

std::int32_t send_text(Connection* connection, std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.empty()) return 0;
    if (connection == nullptr) return -1;
    ssize_t count = send(connection->socket_fd, text.data(), text.size(), MSG_NOSIGNAL);
    return count < 0 ? -1 : static_cast<std::int32_t>(count);
}

std::int32_t send_bytes(Connection* connection, const void* bytes, std::size_t size) {
    if (size == 0) return 0;
    if (connection == nullptr) return -1;
    ssize_t count = send(connection->socket_fd, bytes, size, MSG_NOSIGNAL);
    return count < 0 ? -1 : static_cast<std::int32_t>(count);
}

ReadWait wait_readable(Connection* connection, std::uint32_t ms) {
    if (connection == nullptr) return ReadWait::failed;
    if (stop_requested()) return ReadWait::stopped;
    const NativeWaitHandle stop = stop_wait_handle();
    pollfd waits[2] = {{connection->socket_fd, POLLIN, 0},
                       {static_cast<int>(stop.value), POLLIN, 0}};
    const nfds_t count = stop.present() ? 2 : 1;
    const int timeout = ms > 0x7FFFFFFFu ? -1 : static_cast<int>(ms);
    int ready = poll(waits, count, timeout);
    while (ready < 0 && errno == EINTR) ready = poll(waits, count, timeout);
    if (ready < 0) return ReadWait::failed;
    if (stop_requested() || (count == 2 && waits[1].revents != 0)) return ReadWait::stopped;
    if (ready == 0) return ReadWait::timed_out;
    return ReadWait::readable;  // also POLLHUP and POLLERR: the read tells what happened
}

void close_connection(Connection* connection) {
    if (connection == nullptr) return;
    close(connection->socket_fd);
    delete connection;
}
