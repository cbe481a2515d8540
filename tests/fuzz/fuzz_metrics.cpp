// Feeds arbitrary bytes as the router's two replies, and as the words, figures and tables of a
// line record, to the collector's figures and checks that the text follows Prometheus's text format
// as its parsers read it: valid UTF-8, one "# HELP" and one "# TYPE" before each family's samples,
// no family twice, no series twice, label values closed and escaped with only \\, \" and \n, and
// every value a plain number.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "collector/metrics.h"

namespace {

void expect(bool condition) {
    if (!condition) std::abort();
}

// Decodes one code point; false for anything Go's utf8.ValidString would refuse.
bool next_code_point(std::string_view& text) {
    const auto b = [&text](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(text[i]));
    };
    std::size_t length = b(0) < 0x80       ? 1
                         : b(0) >> 5 == 6  ? 2
                         : b(0) >> 4 == 14 ? 3
                         : b(0) >> 3 == 30 ? 4
                                           : 0;
    if (length == 0 || text.size() < length) return false;
    std::uint32_t code = length == 1 ? b(0) : b(0) & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (b(i) >> 6 != 2) return false;
        code = code << 6 | (b(i) & 0x3F);
    }
    constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return false;
    text.remove_prefix(length);
    return true;
}

bool is_name_character(char c, bool first) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           (!first && c >= '0' && c <= '9');
}

// A metric or label name at the start of text, taken off it.
std::string_view take_name(std::string_view& text) {
    std::size_t n = 0;
    while (n < text.size() && is_name_character(text[n], n == 0)) ++n;
    expect(n > 0);
    const std::string_view name = text.substr(0, n);
    text.remove_prefix(n);
    return name;
}

void expect_number(std::string_view text) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i > start;
    };
    if (i < text.size() && text[i] == '-') ++i;
    expect(digits());
    if (i < text.size() && text[i] == '.') {
        ++i;
        expect(digits());
    }
    if (i < text.size() && text[i] == 'e') {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        expect(digits());
    }
    expect(i == text.size());
}

void expect_exposition(std::string_view text) {
    for (std::string_view rest = text; !rest.empty();) expect(next_code_point(rest));
    expect(!text.empty() && text.back() == '\n');

    std::set<std::string, std::less<>> families;
    std::set<std::string, std::less<>> series;
    std::string family, type;  // the family whose samples may follow
    while (!text.empty()) {
        std::string_view line = text.substr(0, text.find('\n'));
        text.remove_prefix(line.size() + 1);
        if (line.substr(0, 7) == "# HELP ") {
            line.remove_prefix(7);
            family = take_name(line);
            expect(families.insert(family).second);
            expect(line.size() > 1 && line[0] == ' ' && line.find('\\') == line.npos);
            type.clear();
            continue;
        }
        if (line.substr(0, 7) == "# TYPE ") {
            line.remove_prefix(7);
            expect(take_name(line) == family && type.empty());
            type = line;
            expect(type == " counter" || type == " gauge");
            const bool total = family.size() > 6 && family.ends_with("_total");
            expect(total == (type == " counter"));
            continue;
        }
        const std::string_view whole = line;
        expect(!type.empty() && take_name(line) == family);
        if (!line.empty() && line.front() == '{') {
            std::set<std::string, std::less<>> labels;
            do {
                line.remove_prefix(1);
                expect(labels.insert(std::string(take_name(line))).second);
                expect(line.substr(0, 2) == "=\"");
                line.remove_prefix(2);
                while (!line.empty() && line.front() != '"') {
                    if (line.front() == '\\') {
                        expect(line.size() > 1 &&
                               (line[1] == '\\' || line[1] == '"' || line[1] == 'n'));
                        line.remove_prefix(1);
                    }
                    line.remove_prefix(1);
                }
                expect(!line.empty());
                line.remove_prefix(1);
            } while (!line.empty() && line.front() == ',');
            expect(!line.empty() && line.front() == '}');
            line.remove_prefix(1);
        }
        expect(!line.empty() && line.front() == ' ');
        expect_number(line.substr(1));
        expect(series.insert(std::string(whole.substr(0, whole.size() - line.size()))).second);
    }
}

// Takes the next `size` bytes of input (fewer at its end).
std::string_view take(std::string_view& input, std::size_t size) {
    const std::string_view part = input.substr(0, size);
    input.remove_prefix(part.size());
    return part;
}

std::uint64_t take_number(std::string_view& input) {
    std::uint64_t number = 0;
    const std::string_view bytes = take(input, sizeof number);
    std::memcpy(&number, bytes.data(), bytes.size());
    return number;
}

// A record whose every part comes from the input: words of any bytes, decibel texts that may
// not be plain, rates and counts of any size, present or not, and tables of any values (NaN,
// infinities, denormals) and lengths.
LineRecord fuzzed_record(std::string_view input) {
    LineRecord record;
    const std::uint64_t present = take_number(input);
    std::size_t bit = 0;
    const auto next = [&present, &bit] { return (present >> (bit++ % 64) & 1) != 0; };
    const auto word = [&input] { return std::string(take(input, take_number(input) % 12)); };
    record.state = word();
    record.mode = word();
    record.profile = word();
    for (PerDirection<std::string>* decibels :
         {&record.snr_margin, &record.attenuation, &record.power}) {
        decibels->down = word();
        decibels->up = word();
    }
    for (PerDirection<RateKbits>* rate : {&record.rate, &record.attainable}) {
        if (next()) rate->down = static_cast<std::int64_t>(take_number(input));
        if (next()) rate->up = static_cast<std::int64_t>(take_number(input));
    }
    for (PerDirection<RunningCount>* count :
         {&record.fec, &record.crc, &record.hec, &record.es, &record.ses, &record.uas}) {
        if (next()) count->down = take_number(input);
        if (next()) count->up = take_number(input);
    }
    // As many tones as the bytes left can fill (up to 4096), so that short inputs stay fast.
    const std::size_t tones = std::min<std::size_t>(take_number(input) % 4097, input.size());
    if (next()) {
        for (const char bits : take(input, tones))
            record.bits.push_back(static_cast<std::uint8_t>(bits));
    }
    if (next()) {
        record.snr.resize(std::min(tones, input.size() / sizeof(double)));
        for (double& snr : record.snr) {
            const std::uint64_t pattern = take_number(input);
            std::memcpy(&snr, &pattern, sizeof snr);
        }
    }
    return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The received text is what one read delivered, cut at its first zero byte.
    const std::string_view reply = input.substr(0, input.find('\0'));
    LineFigures figures = start_line_figures(1796000000, 60000);
    record_cycle(figures, {true, "", reply, reply}, 1796000060);
    record_cycle(figures, {false, reply.substr(0, 40), "", ""}, 1796000120);
    expect_exposition(metrics_text(figures));
    // The line record after the classic replies: both kinds of figure side by side, a bit table
    // in place of the other, a record that drops figures.
    const LineRecord record = fuzzed_record(input);
    record_cycle(figures, {true, "", "", "", &record}, 1796000180);
    expect_exposition(metrics_text(figures));
    const LineRecord second = fuzzed_record(input.substr(input.size() / 2));
    record_cycle(figures, {true, "", "", reply, &second}, 1796000240);
    expect_exposition(metrics_text(figures));
    return 0;
}
