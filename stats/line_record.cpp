// The line record's two helpers: the showtime test and the plain decimal text.
#include "stats/line_record.h"

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool line_in_showtime(const LineRecord& record) {
    constexpr std::string_view word = "showtime";
    const std::string_view state = record.state;
    if (state.size() < word.size()) return false;
    for (std::size_t start = 0; start + word.size() <= state.size(); ++start) {
        std::size_t i = 0;
        while (i < word.size() && lower(state[start + i]) == word[i]) ++i;
        if (i == word.size()) return true;
    }
    return false;
}

std::string plain_decimal(std::string_view text) {
    std::string plain;
    for (const char c : text) {
        if (c == ' ' || c == '\t') continue;
        plain.push_back(c == ',' ? '.' : c);
    }
    if (!plain.empty() && plain.front() == '+') plain.erase(0, 1);
    std::size_t i = !plain.empty() && plain.front() == '-' ? 1 : 0;
    const std::size_t digits_from = i;
    while (i < plain.size() && is_digit(plain[i])) ++i;
    if (i == digits_from) return "";
    if (i < plain.size() && plain[i] == '.') {
        const std::size_t fraction_from = ++i;
        while (i < plain.size() && is_digit(plain[i])) ++i;
        if (i == fraction_from) return "";
    }
    if (i != plain.size()) return "";
    return plain;
}
