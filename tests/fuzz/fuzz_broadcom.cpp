// Feeds arbitrary bytes as a reply to each of the Broadcom family's readers: no reply may crash,
// leak or reach undefined behaviour, and what they store must keep the record's forms (plain
// decimal texts, short texts without control bytes, no tone beyond the ones the reply listed).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "routers/broadcom.h"

namespace {

void expect_plain(const std::string& text) {
    if (plain_decimal(text) != text) std::abort();
}

void expect_short_text(const std::string& text) {
    if (text.size() > 40) std::abort();
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    LineRecord record;
    read_broadcom_stats(reply, record);
    expect_short_text(record.state);
    expect_short_text(record.mode);
    expect_short_text(record.profile);
    for (const auto* figure : {&record.snr_margin, &record.attenuation, &record.power}) {
        expect_plain(figure->down);
        expect_plain(figure->up);
    }
    read_broadcom_bits(reply, record);
    read_broadcom_snr(reply, record);
    // Every tone stands on a line of its own, so there are never more tones than line feeds.
    std::size_t line_feeds = 0;
    for (const char c : reply) line_feeds += c == '\n';
    if (record.bits.size() > line_feeds || record.snr.size() > line_feeds) std::abort();
    return 0;
}
