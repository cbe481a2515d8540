// The line record's two helpers: the showtime test and the plain decimal text.
#include "stats/line_record.h"

#include "runtime/text.h"

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool line_in_showtime(const LineRecord& record) {
    return contains_ignoring_case(record.state, "showtime");
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
