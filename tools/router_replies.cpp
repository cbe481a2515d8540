// The replies of the simulated router, laid out the way KelvaStats reads a real one.
#include "tools/router_replies.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

constexpr std::string_view line_end = "\r\n";
constexpr std::string_view prompt = "> ";
constexpr std::int32_t showbins_tones = 232;
constexpr std::int32_t showbins_tones_per_line = 4;

// One "label = value" line of the status reply: the value stands in the third tab field.
std::string status_line(std::string_view label, std::string_view value) {
    std::string line = "   ";
    line += label;
    line.append(std::max<std::size_t>(1, 21 - label.size()), ' ');
    line += "=\t\t";
    line += value;
    line += "\t";
    line += line_end;
    return line;
}

std::string counter_line(std::string_view label, std::int32_t value) {
    return status_line(label, std::to_string(value));
}

// One 20-character cell of the bit table: tone, SNR and bits, right-aligned. The runs of three
// or more blanks between them are what puts the bits in the fifth field of the cell.
std::string showbins_cell(std::int32_t slot, std::int32_t variant) {
    const std::int32_t bits = showbins_bits(slot, variant);
    const std::int32_t snr_tenths =
        bits == 0 ? 100 + (slot * 37) % 60 : 160 + bits * 30 + (slot * 13) % 25;
    char cell[32];
    std::snprintf(cell, sizeof cell, "  %3d   %2d.%d   %2d   ", static_cast<int>(slot),
                  static_cast<int>(snr_tenths / 10), static_cast<int>(snr_tenths % 10),
                  static_cast<int>(bits));
    return cell;
}

}  // namespace

std::string show_adsl_reply(const LineCounters& counters) {
    std::string reply = "show adsl";
    reply += line_end;
    reply += line_end;
    reply += "ADSL line status";
    reply += line_end;
    reply += status_line("Modulation", "G.992.5 Annex A");
    reply += status_line("Line state", "SHOWTIME");
    reply += status_line("Channel mode", "Interleaved");
    reply += status_line("Link uptime", "3 days 04:17:52");
    reply += status_line("Downstream rate", "16384\t kbps");
    reply += status_line("Upstream rate", "1023\t kbps");
    reply += status_line("Attainable down rate", "18960\t kbps");
    reply += status_line("Attainable up rate", "1180\t kbps");
    reply += status_line("SNR margin down", "6.1\t dB");
    reply += status_line("SNR margin up", "8.4\t dB");
    reply += status_line("Target/min margin", "6dB,3dB");
    reply += status_line("Attenuation down", "32.5\t dB");
    reply += status_line("Attenuation up", "18.0\t dB");
    reply += status_line("Output power down", "19.6\t dBm");
    reply += status_line("Output power up", "12.3\t dBm");
    reply += status_line("Interleave depth", "64");
    reply += status_line("INP down", "2.00\t symbols");
    reply += status_line("Delay down", "8\t ms");
    reply += status_line("Trellis", "On");
    reply += status_line("Bitswap", "On");
    reply += line_end;
    reply += "Error counters since showtime";
    reply += line_end;
    reply += "   ----------------------------";
    reply += line_end;
    // Lines 27 to 31.
    reply += counter_line("Near End FEC error", counters.fec);
    reply += counter_line("Near End CRC error", counters.crc);
    reply += counter_line("Near End HEC error", counters.hec);
    reply += counter_line("Near End NCD error", counters.ncd);
    reply += counter_line("Near End OCD error", counters.ocd);
    reply += counter_line("Far End FEC error", 41);
    reply += counter_line("Far End CRC error", 0);
    reply += counter_line("Far End HEC error", 0);
    reply += counter_line("Errored seconds", 2);
    reply += counter_line("Severely err. secs", 0);
    reply += counter_line("Unavailable seconds", 12);
    reply += counter_line("Loss of signal", 0);
    reply += counter_line("Loss of frame", 0);
    reply += line_end;
    reply += prompt;
    return reply;
}

std::string showbins_reply(std::int32_t variant) {
    std::string reply = "adsl showbins";
    reply += line_end;
    reply += line_end;
    reply += "Downstream bit loading, 232 tones, SNR in dB";
    reply += line_end;
    reply += line_end;
    std::string heading;  // each title ends above its cell's column
    for (std::int32_t cell = 0; cell < showbins_tones_per_line; ++cell)
        heading += " Tone    SNR Bits   ";
    reply += heading.substr(0, heading.find_last_not_of(' ') + 1);
    reply += line_end;
    // Lines 6 to 63.
    for (std::int32_t slot = 0; slot < showbins_tones; slot += showbins_tones_per_line) {
        for (std::int32_t cell = 0; cell < showbins_tones_per_line; ++cell) {
            reply += showbins_cell(slot + cell, variant);
        }
        reply += line_end;
    }
    reply += line_end;
    reply += "Total bits = " + std::to_string(showbins_total(variant));
    reply += line_end;
    reply += prompt;
    return reply;
}

std::int32_t showbins_bits(std::int32_t slot, std::int32_t variant) {
    // The voice band and the guard tones carry nothing; above them the loading falls with the
    // line's attenuation, rippling a little from tone to tone and from one collection to the next.
    if (slot < 0 || slot >= showbins_tones || slot < 7) return 0;
    const std::int32_t ripple =
        ((slot * 7 + variant * 3) % 5 == 0 ? -1 : 0) + ((slot + variant) % 3 == 0 ? 1 : 0);
    return std::clamp(14 - (slot - 7) / 18 + ripple, 2, 15);
}

std::int32_t showbins_total(std::int32_t variant) {
    std::int32_t total = 0;
    for (std::int32_t slot = 0; slot < showbins_tones; ++slot)
        total += showbins_bits(slot, variant);
    return total;
}
