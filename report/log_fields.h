// The comma-separated fields of a log line and the numbers in them, read by hand: the logs have
// no quoting, and a year of lines must pass in about a second.
#pragma once

#include <cstdint>
#include <string_view>

// Walks the fields of one line from left to right.
class FieldCursor {
  public:
    explicit FieldCursor(std::string_view line)
        : at_(line.data()), end_(line.data() + line.size()) {}
    // The next field; false after the last one.
    bool next(std::string_view& field) {
        std::int32_t unused;
        return next(field, unused);
    }
    // The same, with the field read on the way as a small number: its value when it is 1 to 9
    // digits and nothing else, else -1. One pass over the bytes for the bins log's 232 columns.
    bool next(std::string_view& field, std::int32_t& small_number) {
        if (done_) return false;
        // A plain loop: fields are a few bytes long, too short for a library search to pay.
        const char* const start = at_;
        const char* p = at_;
        std::uint32_t value = 0;
        std::uint32_t not_digits = 0;
        for (; p != end_ && *p != ','; ++p) {
            const std::uint32_t digit = static_cast<unsigned char>(*p) - std::uint32_t{'0'};
            not_digits |= digit > 9 ? 1 : 0;
            value = value * 10 + digit;
        }
        const auto length = static_cast<std::size_t>(p - start);
        small_number =
            not_digits == 0 && length > 0 && length <= 9 ? static_cast<std::int32_t>(value) : -1;
        field = std::string_view(start, length);
        done_ = p == end_;
        at_ = done_ ? p : p + 1;
        return true;
    }

  private:
    const char* at_;
    const char* end_;
    bool done_ = false;
};

// The field as a whole integer (an optional sign, then digits only); false when it is not one.
inline bool whole_number(std::string_view field, std::int64_t& value) {
    std::size_t at = 0;
    const bool negative = !field.empty() && field[0] == '-';
    if (negative || (!field.empty() && field[0] == '+')) at = 1;
    if (at == field.size() || field.size() - at > 18) return false;
    std::int64_t number = 0;
    for (; at < field.size(); ++at) {
        const char c = field[at];
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    value = negative ? -number : number;
    return true;
}

// total + value, held at the int64 limits instead of overflowing: a log may hold any digits.
inline std::int64_t saturated_sum(std::int64_t total, std::int64_t value) {
    if (value > 0 && total > INT64_MAX - value) return INT64_MAX;
    if (value < 0 && total < INT64_MIN - value) return INT64_MIN;
    return total + value;
}

// The number a value starts with, after any blanks: "8128 kbps" gives 8128, "-12.5 " gives
// -12.5; false when it starts with no digit, or has too many to be a finite number.
bool leading_number(std::string_view value, double& number);
