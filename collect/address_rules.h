// Which router addresses the socket layer refuses before any traffic, the same on every platform.
#pragma once

#include <cstdint>
#include <string_view>

// Whether text may be looked up as a host name: labels of letters, digits and '-' joined by '.',
// and not a dotted number that failed to parse as an address ("999.1.1.1"). Text that fails this
// is refused without any name lookup. Exposed for testing.
bool looks_like_host_name(std::string_view text);

// Whether an IPv4 address (host byte order) is one no connect may go to: 255.255.255.255, the
// broadcast, and 0.0.0.0/8, "this network", which some systems would take as the machine itself.
bool is_refused_address(std::uint32_t address);
