// Feeds arbitrary bytes as a reply to each of the DrayTek family's readers: no reply may crash,
// leak or reach undefined behaviour, and what they store must keep the record's forms (plain
// decimal texts, short texts without control bytes, tone arrays of one length with bits a tone
// can hold).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "routers/draytek.h"

namespace {

void expect_plain(const std::string& text) {
    if (plain_decimal(text) != text) std::abort();
}

void expect_short_text(const std::string& text) {
    if (text.size() > 40) std::abort();
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    LineRecord record;
    read_draytek_status(reply, record);
    read_draytek_status_more(reply, record);
    expect_short_text(record.state);
    expect_short_text(record.mode);
    expect_short_text(record.profile);
    for (const auto* figure : {&record.snr_margin, &record.attenuation, &record.power}) {
        expect_plain(figure->down);
        expect_plain(figure->up);
    }
    for (const auto* rate : {&record.rate, &record.attainable}) {
        if ((rate->down && *rate->down < 0) || (rate->up && *rate->up < 0)) std::abort();
    }
    (void)line_in_showtime(record);
    read_draytek_showbins(reply, record);
    // A table never lists more than 8192 tones; the SNR array, when there is one, is as long as
    // the bits array.
    if (record.bits.size() > 8192) std::abort();
    if (!record.snr.empty() && record.snr.size() != record.bits.size()) std::abort();
    for (const std::uint8_t bits : record.bits) {
        if (bits > 15) std::abort();
    }
    return 0;
}
