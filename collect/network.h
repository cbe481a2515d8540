// The socket operations of the collection cycle: one plain TCP client connection to the router at
// a time, polled rather than waited on, so the worker never blocks on the router.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/handles.h"

// Readies the socket layer. 1 on success, 0 on failure (the worker then ends the program).
int start_network();

// Connects to address (a dotted IPv4 address, or a host name looked up for its first IPv4
// address) on the low 16 bits of port. Null when the address is empty or malformed, does not
// resolve, is refused (is_refused_address), the port is 0, or the connect fails. Waits for the
// system's own connect outcome, but a stop request for the calling thread (runtime/stop.h) ends the
// wait at once with null. A connection the router accepted and at once reset is a connection: the
// reset shows on it as a closed connection.
Connection* open_connection(std::string_view address, std::int32_t port);

// Network event codes of connection_event.
inline constexpr int no_network_event = 0;
inline constexpr int data_network_event = 2;

// data_network_event when at least one byte can be read without blocking, otherwise (also when the
// router has closed the connection, or the count cannot be obtained) no_network_event. Never
// blocks.
int connection_event(Connection* connection);

// True when the router has closed or reset the connection and nothing is left to read. Tells a
// closed connection from a silent one, which connection_event does not. Never blocks.
bool connection_closed(Connection* connection);

// One read of at most capacity bytes into buffer: the count read, 0 when the router has closed
// the connection, -1 on error. No terminator is added.
std::int32_t receive_bytes(Connection* connection, unsigned char* buffer, std::int32_t capacity);

// One send of the text's bytes before its first zero byte: the bytes sent, or -1. An empty text
// sends nothing and gives 0. A router that has gone gives -1, never a signal.
std::int32_t send_text(Connection* connection, std::string_view text);

// One send of size bytes as they are, zero bytes too (telnet's answers hold them): the bytes sent,
// or -1. A router that has gone gives -1, never a signal.
std::int32_t send_bytes(Connection* connection, const void* bytes, std::size_t size);

// What wait_readable saw.
enum class ReadWait {
    readable,  // bytes can be read, or the router has closed the connection (a read then gives 0)
    timed_out,
    stopped,  // a stop was requested for the calling thread
    failed,
};

// Waits up to ms milliseconds until the connection can be read without blocking, or a stop is
// requested for the calling thread (runtime/stop.h), whichever comes first.
ReadWait wait_readable(Connection* connection, std::uint32_t ms);

// Closes the socket and releases the connection; null is ignored.
void close_connection(Connection* connection);

// Whether the program refuses to connect to the IPv4 address (host byte order): 255.255.255.255,
// and every address of 0.0.0.0/8, which on some systems reaches this machine itself; a cleared
// address field reads 0.0.0.0, and the password must not go to whatever listens here.
bool is_refused_address(std::uint32_t address);

// Reads text as open_connection reads a dotted IPv4 address (also the short and hexadecimal forms
// such as "127.1" and "0x7f.0.0.1"), in host byte order. False, leaving address alone, when text
// is not one (it may still be a host name).
bool read_dotted_address(std::string_view text, std::uint32_t& address);

// Whether text may be looked up as a host name: labels of letters, digits and '-' joined by '.',
// and not a dotted number that failed to parse as an address ("999.1.1.1"). Text that fails this
// is refused without any name lookup. Exposed for testing.
bool looks_like_host_name(std::string_view text);
