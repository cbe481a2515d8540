// kelvastats-collect: the options, the password, then the collector's run until it is stopped.
#include <cstdio>

#include "collector/collector_options.h"
#include "collector/collector_run.h"
#include "collector/console_calls.h"
#include "collector/password_source.h"
#include "runtime/text.h"

int main(int argc, char* argv[]) {
    const ParsedOptions parsed = parse_collector_options(argc, argv);
    if (parsed.exit_status == exit_done) {
        std::fputs(parsed.text.c_str(), stdout);
        return exit_done;
    }
    if (parsed.exit_status >= 0) {
        print_error_line(concat("kelvastats-collect: ", parsed.text));
        return parsed.exit_status;
    }
    const PasswordResult password = find_password(parsed.options.password_file);
    if (!password.error.empty()) {
        print_error_line(concat("kelvastats-collect: ", password.error));
        return exit_refused;
    }
    if (!password.warning.empty())
        print_error_line(concat("kelvastats-collect: ", password.warning));
    PasswordResult mqtt_password;
    if (!parsed.options.mqtt_url.empty()) {
        mqtt_password = find_mqtt_password(parsed.options.mqtt_password_file);
        if (!mqtt_password.error.empty()) {
            print_error_line(concat("kelvastats-collect: ", mqtt_password.error));
            return exit_refused;
        }
        if (!mqtt_password.warning.empty())
            print_error_line(concat("kelvastats-collect: ", mqtt_password.warning));
    }
    return run_collector(parsed.options, password.password, mqtt_password.password);
}
