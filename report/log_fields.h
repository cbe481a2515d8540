// The comma-separated fields of a log line and the numbers in them, read by hand: the logs have
// no quoting, and a year of lines must pass in about a second.
#pragma once

#include <cstdint>
#include <string_view>

// Walks the fields of one line from left to right.
class FieldCursor {
  public:
    explicit FieldCursor(std::string_view line) : rest_(line) {}
    // The next field; false after the last one.
    bool next(std::string_view& field) {
        if (done_) return false;
        const std::size_t comma = rest_.find(',');
        if (comma == std::string_view::npos) {
            field = rest_;
            done_ = true;
        } else {
            field = rest_.substr(0, comma);
            rest_.remove_prefix(comma + 1);
        }
        return true;
    }

  private:
    std::string_view rest_;
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

// The number a value starts with, after any blanks: "8128 kbps" gives 8128, "-12.5 " gives
// -12.5; false when it starts with no digit.
bool leading_number(std::string_view value, double& number);
