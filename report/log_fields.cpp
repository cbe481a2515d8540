// The numbers in log fields.
#include "report/log_fields.h"

#include <cmath>

bool leading_number(std::string_view value, double& number) {
    std::size_t at = 0;
    while (at < value.size() && (value[at] == ' ' || value[at] == '\t')) ++at;
    bool negative = false;
    if (at < value.size() && (value[at] == '-' || value[at] == '+')) negative = value[at++] == '-';
    double whole = 0;
    std::size_t digits = 0;
    for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at, ++digits)
        whole = whole * 10 + (value[at] - '0');
    if (at + 1 < value.size() && value[at] == '.' && value[at + 1] >= '0' && value[at + 1] <= '9') {
        double scale = 0.1;
        for (++at; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at, ++digits) {
            whole += (value[at] - '0') * scale;
            scale /= 10;
        }
    }
    if (digits == 0 || !std::isfinite(whole)) return false;  // hundreds of digits: not a figure
    number = negative ? -whole : whole;
    return true;
}
