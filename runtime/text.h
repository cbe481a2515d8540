// Text and number primitives that the parsers, the log writers and the settings fields rely on.
// A text is a byte string without a zero byte; positions are 1-based; an unset text is the empty
// text. Integers are signed 32-bit and wrap. No primitive fails: bad input gives "" or 0.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Copies text into variable. Bytes from the first zero byte on are not part of a text.
void assign(std::string& variable, std::string_view text);

// Joins texts left to right; each part ends at its first zero byte, as every text does.
template <typename... Texts>
std::string concat(const Texts&... texts) {
    std::string joined;
    const auto append_text = [&joined](std::string_view part) {
        joined.append(part.substr(0, part.find('\0')));
    };
    (append_text(std::string_view(texts)), ...);
    return joined;
}

std::int32_t length(std::string_view text);

// At most count characters from position start; start <= 1 begins at 1, start past the end or
// count <= 0 gives "".
std::string mid(std::string_view text, std::int32_t start, std::int32_t count);

// Byte value (0..255) of the first character; 0 for "".
std::int32_t char_code(std::string_view text);

// Only the blank (byte 32) is removed; tabs and line ends stay.
std::string trim_left(std::string_view text);
std::string trim_right(std::string_view text);

// The index-th field between separator bytes (index <= 1 gives field 1). Only the first byte of
// separator counts; an empty separator makes the whole text field 1.
std::string nth_field(std::string_view text, std::int32_t index, std::string_view separator);

// One left-to-right pass; replaced text is never searched again. An empty search returns text.
std::string replace_all(std::string_view text, std::string_view search,
                        std::string_view replacement);

// The same texts as mid, trim_left, trim_right and nth_field, as views into text (valid as long as
// text is), and replace_all's result appended to result (text must not be a view into result).
// For loops that must not allocate at every step.
std::string_view mid_view(std::string_view text, std::int32_t start, std::int32_t count);
std::string_view trim_left_view(std::string_view text);
std::string_view trim_right_view(std::string_view text);
std::string_view nth_field_view(std::string_view text, std::int32_t index,
                                std::string_view separator);
void append_replace_all(std::string& result, std::string_view text, std::string_view search,
                        std::string_view replacement);

// Leading blanks and tabs, an optional sign, then decimal digits up to the first other byte,
// modulo 2^32. No digits give 0.
std::int32_t to_number(std::string_view text);

std::string to_decimal(std::int32_t number);

// Rounds toward zero. NaN gives 0; values outside the 32-bit range saturate.
std::int32_t truncate_to_int(double value);

bool equals(std::string_view a, std::string_view b);

// ASCII letters only, as routers print their words; other bytes compare as they are.
char ascii_lower(char c);

// The length of the valid UTF-8 sequence at the start of text, or 0 when it does not start with
// one (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF, a cut sequence):
// what Prometheus and JSON readers accept.
std::size_t utf8_sequence_length(std::string_view text);
bool equals_ignoring_case(std::string_view a, std::string_view b);
bool contains_ignoring_case(std::string_view text, std::string_view word);

// A zero-filled raw byte block; a size of 0 or less gives no block (bytes null, size 0).
struct MemoryBlock {
    std::unique_ptr<unsigned char[]> bytes;
    std::int32_t size = 0;
};
MemoryBlock allocate_block(std::int32_t size);

// The block's bytes up to the first zero byte, never past the block's end; with a count, at most
// count bytes (a count of 0 or less gives "").
std::string peek_string(const MemoryBlock& block);
std::string peek_string(const MemoryBlock& block, std::int32_t count);

// Wrapping 32-bit arithmetic for counters and totals.
inline std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t wrapping_sub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
