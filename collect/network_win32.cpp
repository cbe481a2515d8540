// The collection cycle's socket operations on Winsock 2. The connect waits on its network event
// and the thread's stop event together, so Quit never waits for an unreachable router.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "collect/network.h"
#include "runtime/stop.h"

struct Connection {
    SOCKET socket = INVALID_SOCKET;
};

namespace {

// How often a connect looks at the stop flag of a thread whose stop state has no event.
constexpr DWORD flag_check_ms = 20;

// The IPv4 address of text in network byte order, or INADDR_NONE. A dotted address is taken as
// inet_addr takes it (also "127.1" and "0x7f.0.0.1"); anything else is looked up as a host name,
// but only when it can be one, so malformed input causes no name-server traffic.
ULONG resolve_address(const std::string& text) {
    std::uint32_t dotted = 0;
    if (read_dotted_address(text, dotted)) return htonl(dotted);
    if (!looks_like_host_name(text)) return INADDR_NONE;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &answer) != 0 || answer == nullptr)
        return INADDR_NONE;
    ULONG found = INADDR_NONE;
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
    const std::string copy(text);
    const ULONG parsed = inet_addr(copy.c_str());
    // inet_addr's answer for malformed text is also that of the all-ones address.
    if (parsed == INADDR_NONE && copy != "255.255.255.255") return false;
    address = ntohl(parsed);
    return true;
}

namespace {

// Waits until the connect under way on s, announced through connected_event, has an outcome.
// False when it failed or a stop was requested for this thread.
bool finish_connect(SOCKET s, WSAEVENT connected_event) {
    const NativeWaitHandle stop = stop_wait_handle();
    const HANDLE events[2] = {connected_event, reinterpret_cast<HANDLE>(stop.value)};
    const DWORD count = stop.present() ? 2 : 1;
    const DWORD timeout = stop.present() ? INFINITE : flag_check_ms;
    for (;;) {
        if (stop_requested()) return false;
        const DWORD woke = WaitForMultipleObjects(count, events, FALSE, timeout);
        if (woke == WAIT_TIMEOUT) continue;
        if (woke != WAIT_OBJECT_0) return false;  // the stop event, or a failed wait
        WSANETWORKEVENTS happened{};
        if (WSAEnumNetworkEvents(s, connected_event, &happened) != 0) return false;
        if ((happened.lNetworkEvents & FD_CONNECT) == 0) continue;
        const int error = happened.iErrorCode[FD_CONNECT_BIT];
        // A reset can only follow an accepted connection (a refused one reports WSAECONNREFUSED):
        // the router was reached, and the reset shows on the connection as a close.
        return error == 0 || error == WSAECONNRESET;
    }
}

// Connects s to target, waiting for the outcome or a stop request.
bool connect_or_stop(SOCKET s, const sockaddr_in& target) {
    const WSAEVENT connected_event = WSACreateEvent();
    if (connected_event == WSA_INVALID_EVENT) return false;
    // WSAEventSelect also makes the socket non-blocking, and it stays so after the event is gone:
    // reads follow a positive FIONREAD, and a send to a router that stopped reading fails
    // instead of holding the worker.
    bool connected = WSAEventSelect(s, connected_event, FD_CONNECT) == 0;
    if (connected && connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        connected = WSAGetLastError() == WSAEWOULDBLOCK && finish_connect(s, connected_event);
    }
    WSAEventSelect(s, nullptr, 0);
    WSACloseEvent(connected_event);
    return connected;
}

}  // namespace

// Winsock stays started until the process ends, which releases it.
int start_network() {
    WSADATA granted{};
    return WSAStartup(MAKEWORD(2, 2), &granted) == 0 ? 1 : 0;
}

Connection* open_connection(std::string_view address, std::int32_t port) {
    std::string text(address.substr(0, address.find('\0')));
    if (text.empty()) return nullptr;
    const auto port_low_bits = static_cast<u_short>(static_cast<std::uint32_t>(port) & 0xFFFFu);
    if (port_low_bits == 0) return nullptr;

    const ULONG address_bits = resolve_address(text);
    if (address_bits == INADDR_NONE || is_refused_address(ntohl(address_bits))) return nullptr;

    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return nullptr;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port_low_bits);
    target.sin_addr.s_addr = address_bits;
    if (!connect_or_stop(s, target)) {
        closesocket(s);
        return nullptr;
    }
    return new Connection{s};
}

int connection_event(Connection* connection) {
    if (connection == nullptr) return no_network_event;
    u_long waiting = 0;
    if (ioctlsocket(connection->socket, FIONREAD, &waiting) != 0) return no_network_event;
    return waiting > 0 ? data_network_event : no_network_event;
}

bool connection_closed(Connection* connection) {
    if (connection == nullptr) return true;
    char byte = 0;
    const int result = recv(connection->socket, &byte, 1, MSG_PEEK);
    if (result == 0) return true;
    if (result > 0) return false;
    return WSAGetLastError() != WSAEWOULDBLOCK;  // a reset, or the socket is gone
}

std::int32_t receive_bytes(Connection* connection, unsigned char* buffer, std::int32_t capacity) {
    if (connection == nullptr || buffer == nullptr || capacity < 0) return -1;
    const int count = recv(connection->socket, reinterpret_cast<char*>(buffer), capacity, 0);
    return count == SOCKET_ERROR ? -1 : count;
}

std::int32_t send_text(Connection* connection, std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.empty()) return 0;
    if (connection == nullptr) return -1;
    // Winsock raises no signal on a connection that has gone: the send just fails.
    const int count = send(connection->socket, text.data(), static_cast<int>(text.size()), 0);
    return count == SOCKET_ERROR ? -1 : count;
}

std::int32_t send_bytes(Connection* connection, const void* bytes, std::size_t size) {
    if (size == 0) return 0;
    if (connection == nullptr) return -1;
    const int count =
        send(connection->socket, static_cast<const char*>(bytes), static_cast<int>(size), 0);
    return count == SOCKET_ERROR ? -1 : count;
}

ReadWait wait_readable(Connection* connection, std::uint32_t ms) {
    if (connection == nullptr) return ReadWait::failed;
    if (stop_requested()) return ReadWait::stopped;
    // Bytes waiting, or a close that an earlier event already told of, need no wait.
    if (connection_event(connection) == data_network_event || connection_closed(connection))
        return ReadWait::readable;
    const WSAEVENT readable_event = WSACreateEvent();
    if (readable_event == WSA_INVALID_EVENT) return ReadWait::failed;
    ReadWait result = ReadWait::failed;
    // FD_READ is signalled at once when bytes are already waiting, FD_CLOSE when the router has
    // gone; the socket stays non-blocking after the event is released.
    if (WSAEventSelect(connection->socket, readable_event, FD_READ | FD_CLOSE) == 0) {
        const NativeWaitHandle stop = stop_wait_handle();
        const HANDLE events[2] = {readable_event, reinterpret_cast<HANDLE>(stop.value)};
        const DWORD count = stop.present() ? 2 : 1;
        const auto started = GetTickCount64();
        for (;;) {
            // Without a stop event the flag is looked at every flag_check_ms.
            DWORD wait_ms = ms;
            if (!stop.present() && wait_ms > flag_check_ms) wait_ms = flag_check_ms;
            const DWORD woke = WaitForMultipleObjects(count, events, FALSE, wait_ms);
            if (stop_requested() || woke == WAIT_OBJECT_0 + 1) {
                result = ReadWait::stopped;
            } else if (woke == WAIT_OBJECT_0) {
                result = ReadWait::readable;
            } else if (woke == WAIT_TIMEOUT) {
                if (!stop.present() && GetTickCount64() - started < ms) continue;
                result = ReadWait::timed_out;
            }
            break;
        }
    }
    WSAEventSelect(connection->socket, nullptr, 0);
    WSACloseEvent(readable_event);
    return result;
}

void close_connection(Connection* connection) {
    if (connection == nullptr) return;
    closesocket(connection->socket);
    delete connection;
}
