// The stamps of a log line.
#include "stats/log_stamps.h"

#include "runtime/date.h"

LogStamps read_log_stamps() {
    const std::int64_t now = current_date();
    return {format_date("%dd/%mm/%yy", now), format_date("%hh:%ii", now)};
}
