// Telnet's option negotiation taken out of what a router sends. Every option the router offers or
// asks for is refused (WILL is answered DONT, DO is answered WONT), each at most once per session
// so that no negotiation can loop, subnegotiations are dropped, and only the text goes on.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

struct TelnetFilter {
    enum class State : std::uint8_t {
        text,
        command,                 // after IAC
        option,                  // after IAC and WILL, WONT, DO or DONT
        subnegotiation,          // after IAC SB, up to IAC SE
        subnegotiation_command,  // IAC inside a subnegotiation
    };
    State state = State::text;
    std::uint8_t verb = 0;        // the WILL, WONT, DO or DONT waiting for its option
    bool after_cr = false;        // a CR ended the text so far: a NUL after it is telnet's padding
    std::bitset<256> refused_do;  // options answered WONT
    std::bitset<256> refused_will;  // options answered DONT
};

// Reads the next bytes the router sent (any split of the stream gives the same result): their
// text is appended to `text` (IAC IAC as one 255 byte, CR NUL as CR) and the refusals the router
// must be sent are appended to `answers`.
void filter_telnet(TelnetFilter& filter, std::string_view input, std::string& text,
                   std::string& answers);
