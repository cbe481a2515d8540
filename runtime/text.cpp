// The text and number primitives: every edge case here shows up in a log column.
#include "runtime/text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A text ends at its first zero byte.
std::string_view as_text(std::string_view bytes) {
    const auto zero = bytes.find('\0');
    return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

// Plain byte loops for the searches inside a text: the texts are short cells, fields and values,
// where a call into the library's search for every field or candidate costs more than looking at
// each byte.
std::size_t find_byte(std::string_view text, char byte, std::size_t from) {
    for (std::size_t position = from; position < text.size(); ++position) {
        if (text[position] == byte) return position;
    }
    return std::string_view::npos;
}

bool matches_at(std::string_view text, std::size_t position, std::string_view search) {
    if (position + search.size() > text.size()) return false;
    for (std::size_t k = 0; k < search.size(); ++k) {
        if (text[position + k] != search[k]) return false;
    }
    return true;
}

}  // namespace

void assign(std::string& variable, std::string_view text) {
    variable.assign(as_text(text));
}

std::int32_t length(std::string_view text) {
    return static_cast<std::int32_t>(as_text(text).size());
}

std::string_view mid_view(std::string_view text, std::int32_t start, std::int32_t count) {
    text = as_text(text);
    if (count <= 0) return {};
    const std::size_t first = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
    if (first >= text.size()) return {};
    return text.substr(first, static_cast<std::size_t>(count));
}

std::string mid(std::string_view text, std::int32_t start, std::int32_t count) {
    return std::string(mid_view(text, start, count));
}

std::int32_t char_code(std::string_view text) {
    return text.empty() ? 0 : static_cast<unsigned char>(text.front());
}

std::string_view trim_left_view(std::string_view text) {
    text = as_text(text);
    const auto first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string trim_left(std::string_view text) {
    return std::string(trim_left_view(text));
}

std::string_view trim_right_view(std::string_view text) {
    text = as_text(text);
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string trim_right(std::string_view text) {
    return std::string(trim_right_view(text));
}

std::string_view nth_field_view(std::string_view text, std::int32_t index,
                                std::string_view separator) {
    text = as_text(text);
    if (index < 1) index = 1;
    const std::string_view sep = as_text(separator);
    if (sep.empty()) return index == 1 ? text : std::string_view();
    const char s = sep.front();
    std::size_t field_start = 0;
    for (std::int32_t field = 1;; ++field) {
        const auto end = find_byte(text, s, field_start);
        if (field == index) {
            return text.substr(field_start, end == std::string_view::npos ? std::string_view::npos
                                                                          : end - field_start);
        }
        if (end == std::string_view::npos) return {};
        field_start = end + 1;
    }
}

std::string nth_field(std::string_view text, std::int32_t index, std::string_view separator) {
    return std::string(nth_field_view(text, index, separator));
}

void append_replace_all(std::string& result, std::string_view text, std::string_view search,
                        std::string_view replacement) {
    text = as_text(text);
    search = as_text(search);
    replacement = as_text(replacement);
    if (search.empty()) {
        result.append(text);
        return;
    }
    std::size_t copied = 0;  // text before this position is in result already
    std::size_t position = 0;
    while (position + search.size() <= text.size()) {
        if (matches_at(text, position, search)) {
            result.append(text.data() + copied, position - copied);
            result.append(replacement);
            position += search.size();
            copied = position;
        } else {
            ++position;
        }
    }
    result.append(text.substr(copied));
}

std::string replace_all(std::string_view text, std::string_view search,
                        std::string_view replacement) {
    std::string result;
    result.reserve(as_text(text).size());
    append_replace_all(result, text, search, replacement);
    return result;
}

std::int32_t to_number(std::string_view text) {
    text = as_text(text);
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    }
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

std::string to_decimal(std::int32_t number) {
    if (number == std::numeric_limits<std::int32_t>::min()) return "-2147483648";
    return std::to_string(number);
}

std::int32_t truncate_to_int(double value) {
    if (std::isnan(value)) return 0;
    const double truncated = std::trunc(value);
    if (truncated <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (truncated >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(truncated);
}

bool equals(std::string_view a, std::string_view b) {
    return as_text(a) == as_text(b);
}

char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

bool contains_ignoring_case(std::string_view text, std::string_view word) {
    for (std::size_t start = 0; start + word.size() <= text.size(); ++start) {
        if (equals_ignoring_case(text.substr(start, word.size()), word)) return true;
    }
    return false;
}

MemoryBlock allocate_block(std::int32_t size) {
    MemoryBlock block;
    if (size <= 0) return block;
    block.bytes = std::make_unique<unsigned char[]>(static_cast<std::size_t>(size));  // zero-filled
    block.size = size;
    return block;
}

std::string peek_string(const MemoryBlock& block) {
    return peek_string(block, block.size);
}

std::string peek_string(const MemoryBlock& block, std::int32_t count) {
    if (!block.bytes || block.size <= 0 || count <= 0) return {};
    const auto limit = static_cast<std::size_t>(std::min(count, block.size));
    const std::string_view bytes(reinterpret_cast<const char*>(block.bytes.get()), limit);
    return std::string(as_text(bytes));
}

std::size_t utf8_sequence_length(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}
