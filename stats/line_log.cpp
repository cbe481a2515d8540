// The line log's header and data lines.
#include "stats/line_log.h"

#include <numeric>
#include <optional>

#include "runtime/date.h"

namespace {

void append_field(std::string& line, std::string_view value) {
    line.push_back(',');
    line.append(value);
}

// Down, then up: two fields, each empty where the record has no value.
template <typename Number>
void append_pair(std::string& line, const PerDirection<std::optional<Number>>& figure) {
    for (const auto* value : {&figure.down, &figure.up}) {
        line.push_back(',');
        if (*value) line.append(std::to_string(**value));
    }
}

// The record holds plain decimals here; a family that broke that still breaks no column.
void append_pair(std::string& line, const PerDirection<std::string>& decibels) {
    append_field(line, csv_text_field(decibels.down));
    append_field(line, csv_text_field(decibels.up));
}

// A data line: the stamp and about 10 bytes for each of the 27 columns after it.
constexpr std::size_t data_line_bytes = 64 + 27 * 10;

}  // namespace

std::string line_time_stamp(std::int64_t date, int utc_offset_minutes) {
    return format_date("%yyyy-%mm-%ddT%hh:%ii:%ss", date) + format_utc_offset(utc_offset_minutes);
}

const std::string& line_log_header() {
    static const std::string header =
        "Time,State,Mode,Profile,RateDown,RateUp,AttainableDown,AttainableUp,SNRMarginDown,"
        "SNRMarginUp,AttenuationDown,AttenuationUp,PowerDown,PowerUp,FECDown,FECUp,CRCDown,CRCUp,"
        "HECDown,HECUp,ESDown,ESUp,SESDown,SESUp,UASDown,UASUp,Tones,TotalBits\r\n";
    return header;
}

std::string line_log_line(const LineRecord& record, std::string_view time_stamp) {
    std::string line;
    line.reserve(data_line_bytes + record.state.size() + record.mode.size() +
                 record.profile.size());
    line.append(time_stamp);
    append_field(line, csv_text_field(record.state));
    append_field(line, csv_text_field(record.mode));
    append_field(line, csv_text_field(record.profile));
    append_pair(line, record.rate);
    append_pair(line, record.attainable);
    append_pair(line, record.snr_margin);
    append_pair(line, record.attenuation);
    append_pair(line, record.power);
    for (const auto* counter :
         {&record.fec, &record.crc, &record.hec, &record.es, &record.ses, &record.uas}) {
        append_pair(line, *counter);
    }
    line.push_back(',');
    if (!record.bits.empty()) {
        line.append(std::to_string(record.bits.size()));
        const std::uint64_t total =
            std::accumulate(record.bits.begin(), record.bits.end(), std::uint64_t{0});
        line.append(",").append(std::to_string(total));
    } else {
        line.push_back(',');
    }
    line.append("\r\n");
    return line;
}

std::string csv_text_field(std::string_view text) {
    std::string field;
    field.reserve(text.size());
    bool needs_quotes = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        field.push_back(byte < 0x20 || byte == 0x7F ? ' ' : c);
        needs_quotes = needs_quotes || c == ',' || c == '"';
    }
    if (!needs_quotes) return field;
    std::string quoted = "\"";
    for (const char c : field) {
        quoted.push_back(c);
        if (c == '"') quoted.push_back('"');
    }
    return quoted + "\"";
}
