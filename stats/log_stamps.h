// The date and time stamps that begin every line of both logs.
#pragma once

#include <string>

struct LogStamps {
    std::string date;  // "dd/mm/yy"
    std::string time;  // "hh:mm"
};

// Both stamps from one reading of the clock, so a line written at midnight never pairs the old
// day's date with the new day's time.
LogStamps read_log_stamps();
