// Text and numbers as the report writes them.
#include "report/text_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
        }
    }
    return out;
}

std::string decimal(std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, result.ptr);
}

std::string number_text(double value, int decimals) {
    if (!std::isfinite(value)) return "0";
    // The largest double has 309 whole digits; with a sign, a point and six decimals this holds
    // every value.
    std::array<char, 330> digits;
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                      std::chars_format::fixed, std::clamp(decimals, 0, 6));
    if (result.ec != std::errc()) return "0";
    std::string text(digits.data(), result.ptr);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

namespace {

// `value` (0 < |value|) with `digits` significant digits, trailing zeros after the point dropped.
std::string significant(double value, int digits) {
    const int whole_digits =
        std::max(1, static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1);
    return number_text(value, std::max(0, digits - whole_digits));
}

}  // namespace

std::string short_number(double value, std::size_t width) {
    std::string text = number_text(value, 1);
    if (text.size() <= width) return text;
    static constexpr std::array<const char*, 6> suffixes = {"k", "M", "G", "T", "P", "E"};
    double scaled = value;
    for (const char* suffix : suffixes) {
        scaled /= 1000;
        if (std::fabs(scaled) >= 999.5) continue;
        for (int digits = 3; digits >= 1; --digits) {
            text = significant(scaled, digits) + suffix;
            if (text.size() <= width) return text;
        }
    }
    // Beyond the suffixes: mantissa and exponent, as few mantissa digits as the width needs.
    for (int digits = 2; digits >= 0; --digits) {
        std::array<char, 32> buffer;
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                          std::chars_format::scientific, digits);
        text.assign(buffer.data(), result.ptr);
        const std::size_t plus = text.find("e+");
        if (plus != std::string::npos) text.erase(plus + 1, 1);
        std::size_t mantissa_end = text.find('e');
        while (mantissa_end != std::string::npos && text[mantissa_end - 1] == '0')
            text.erase(--mantissa_end, 1);
        if (mantissa_end != std::string::npos && text[mantissa_end - 1] == '.')
            text.erase(mantissa_end - 1, 1);
        if (text.size() <= width) return text;
    }
    return text;
}
