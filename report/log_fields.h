// The comma-separated fields of a log line and the numbers in them, read by hand: the logs have
// no quoting, and a year of lines must pass in about a second.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

// The 8 bytes at `at` as one word, to compare bytes 8 at a time.
inline std::uint64_t word_at(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// Whether the `size` bytes at `a` and at `b` are the same: a few word comparisons, no library
// call, for the short fields of a log line.
inline bool same_bytes(const char* a, const char* b, std::size_t size) {
    if (size >= 8) {
        for (std::size_t at = 0; at + 8 < size; at += 8)
            if (word_at(a + at) != word_at(b + at)) return false;
        return word_at(a + size - 8) == word_at(b + size - 8);  // the last 8, overlapping
    }
    for (std::size_t at = 0; at < size; ++at)
        if (a[at] != b[at]) return false;
    return true;
}

// How many bytes `a` and `b` have in common from their start.
inline std::size_t common_prefix(std::string_view a, std::string_view b) {
    const std::size_t size = std::min(a.size(), b.size());
    std::size_t at = 0;
    while (at + 8 <= size && word_at(a.data() + at) == word_at(b.data() + at)) at += 8;
    while (at < size && a[at] == b[at]) ++at;
    return at;
}

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
        // Most bins values are one or two digits and a comma: taken at a glance.
        if (end_ - at_ >= 3) {
            const std::uint32_t first = static_cast<unsigned char>(at_[0]) - std::uint32_t{'0'};
            const std::uint32_t second = static_cast<unsigned char>(at_[1]) - std::uint32_t{'0'};
            if (first <= 9 && at_[1] == ',') return take(field, 1, small_number, first);
            if (first <= 9 && second <= 9 && at_[2] == ',')
                return take(field, 2, small_number, first * 10 + second);
        }
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

    // Passes over the next field when it is exactly `text`, and then only: a field known from
    // the line before is matched without being read again.
    bool pass_if(std::string_view text) {
        if (done_ || static_cast<std::size_t>(end_ - at_) < text.size()) return false;
        const char* const after = at_ + text.size();
        if (after != end_ && *after != ',') return false;
        if (!same_bytes(at_, text.data(), text.size())) return false;
        done_ = after == end_;
        at_ = done_ ? after : after + 1;
        return true;
    }

    // Whether the last field was given.
    bool at_end() const { return done_; }
    // The bytes not given yet.
    std::string_view rest() const { return {at_, static_cast<std::size_t>(end_ - at_)}; }

  private:
    // The next field: `length` bytes and the comma after them, read as `value`.
    bool take(std::string_view& field, std::size_t length, std::int32_t& small_number,
              std::uint32_t value) {
        field = std::string_view(at_, length);
        small_number = static_cast<std::int32_t>(value);
        at_ += length + 1;
        return true;
    }

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
