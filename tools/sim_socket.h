// Plain TCP sockets for the simulated router and the tests' loopback peers, one twin per
// platform, so neither has to know whether it runs on POSIX sockets or Winsock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using SimSocket = std::intptr_t;  // a descriptor on POSIX, a SOCKET on Windows
inline constexpr SimSocket no_sim_socket = -1;
// What send_some and receive_some give when a non-blocking socket has to wait.
inline constexpr std::int64_t would_block = -2;

// Readies the socket library once for the process (Winsock needs it). False when it cannot.
bool start_sim_sockets();

// A listener on the dotted IPv4 address and port (0: a free one). On failure no_sim_socket, and
// error says why.
SimSocket open_listener(const std::string& address, std::uint16_t port, int backlog,
                        bool non_blocking, std::string& error);

// The local port a socket is bound to, 0 when unknown.
std::uint16_t local_port(SimSocket socket);

// The next waiting connection, or no_sim_socket.
SimSocket accept_connection(SimSocket listener, bool non_blocking);

// A non-blocking connect to the dotted IPv4 address and port under way (or done): the socket, or
// no_sim_socket.
SimSocket start_connect(const std::string& address, std::uint16_t port);

// One send or receive: the count (0 from receive_some: the peer closed), would_block, or -1.
// Sends never raise a signal.
std::int64_t send_some(SimSocket socket, const char* bytes, std::size_t count);
std::int64_t receive_some(SimSocket socket, char* bytes, std::size_t capacity);

void close_sim_socket(SimSocket socket);
// Closes with a reset (RST) instead of an orderly close.
void reset_sim_socket(SimSocket socket);

struct SimPollEntry {
    SimSocket socket = no_sim_socket;
    bool want_read = true;
    bool want_write = false;
    bool readable = false;  // also a close, a reset or an error: a read then tells which
    bool writable = false;
};

// Waits up to timeout_ms (-1: no limit) until an entry is ready: the count of ready entries, 0
// on timeout or interruption, -1 on failure.
int poll_sockets(std::vector<SimPollEntry>& entries, int timeout_ms);
