// The texts our simulated router prints: the reply to "show adsl" (about 40 CR LF lines, the five
// error counters on lines 27 to 31) and the reply to "adsl showbins" (the bit table of 232 tones on
// lines 6 to 63, four 20-character cells a line). The fixtures in tests/data are these texts.
#pragma once

#include <cstdint>
#include <string>

struct LineCounters {
    std::int32_t fec = 0;
    std::int32_t crc = 0;
    std::int32_t hec = 0;
    std::int32_t ncd = 0;
    std::int32_t ocd = 0;
};

// The "show adsl" reply with the given counters, ending with the router's prompt.
std::string show_adsl_reply(const LineCounters& counters);

// The "adsl showbins" reply, ending with the router's prompt. Bit counts vary with the tone in a
// fixed, plausible pattern; `variant` shifts them a little so successive collections differ.
std::string showbins_reply(std::int32_t variant);

// The bit count the showbins reply gives tone `slot` (0..231) for `variant`, and their total.
std::int32_t showbins_bits(std::int32_t slot, std::int32_t variant);
std::int32_t showbins_total(std::int32_t variant);
