// The window's calls on the console.
#include "collector/console_calls.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/date.h"
#include "runtime/text.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "stats/alarm.h"

namespace {

// One line at a time, so that lines of the worker and of the main thread never interleave.
std::mutex console_mutex;
std::atomic<bool> alarm_said{false};

void print_line(std::FILE* stream, std::string_view text) {
    std::lock_guard lock(console_mutex);
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

std::string time_now() {
    return format_date("%hh:%ii", current_date());
}

// The status bar's text, as the window would show it.
void status_to_output(int, int, std::string_view text) {
    print_output_line(text);
}

// A box the worker raised ("Can't find the server", a log that cannot be created), with the time
// like the status lines. Nobody has to answer it: the cycle goes on at once.
int box_to_error(std::string_view, std::string_view text, int) {
    print_error_line(concat(time_now(), " ", text));
    return 1;
}

// A server has no speaker: the alarm is said.
void alarm_to_error() {
    alarm_said = true;
    print_error_line(concat(time_now(), " alarm: DeltaCRC ", to_decimal(settings.delta_crc.load()),
                            " is over the threshold of ",
                            to_decimal(settings.alarm_threshold.load())));
}

}  // namespace

void print_output_line(std::string_view text) {
    print_line(stdout, text);
}

void print_error_line(std::string_view text) {
    print_line(stderr, text);
}

void install_console_calls() {
    install_ui_calls(UiCalls{&status_to_output, &box_to_error});
    set_alarm_output(&alarm_to_error);
}

bool take_alarm_said() {
    return alarm_said.exchange(false);
}
