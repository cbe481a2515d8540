// The checks of the router's address that every platform's socket code shares.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "collect/network.h"

namespace {

constexpr std::size_t max_host_name_length = 253;
constexpr std::size_t max_label_length = 63;

bool is_letter_or_digit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool all_digits(std::string_view label) {
    for (char c : label) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

bool is_refused_address(std::uint32_t address) {
    return address == 0xFFFFFFFFu || (address >> 24) == 0;
}

bool looks_like_host_name(std::string_view text) {
    if (text.empty() || text.size() > max_host_name_length) return false;
    std::size_t start = 0;
    std::string_view last_label;
    while (start <= text.size()) {
        std::size_t end = text.find('.', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view label = text.substr(start, end - start);
        if (label.empty() || label.size() > max_label_length) return false;
        if (label.front() == '-' || label.back() == '-') return false;
        for (char c : label) {
            if (!is_letter_or_digit(c) && c != '-') return false;
        }
        last_label = label;
        start = end + 1;
    }
    // No top-level name is all digits: such text is a dotted number that did not parse.
    return !all_digits(last_label);
}
