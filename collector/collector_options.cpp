// The collector's options, parsed by CLI11 and checked here, so that every refusal is one line
// that names the option and says what it takes.
#include "collector/collector_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <string_view>

#include "collect/network.h"
#include "collector/home_assistant.h"
#include "collector/mqtt_link.h"
#include "routers/router_families.h"
#include "runtime/option_words.h"
#include "runtime/version.h"

namespace {

constexpr const char* description =
    "kelvastats-collect: keeps the record of a DSL line without a window. At each interval it\n"
    "connects to the router, asks for the line's status and its bit loading, and appends one line\n"
    "to each of two logs in DIR. With --router classic (the default) it asks \"show adsl\" and\n"
    "\"adsl showbins\" and writes kelvastats.csv and kelvabins.csv, the same lines as the "
    "KelvaStats\n"
    "window. With --router broadcom (xdslctl) or --router draytek (vdsl status) it logs in as\n"
    "--user and writes kelvaline.csv and kelvatones.csv.";

constexpr const char* footer =
    "The password never goes on the command line. It is the first line of --password-file FILE,\n"
    "else of $CREDENTIALS_DIRECTORY/password (the systemd credential \"password\"), else it is\n"
    "asked for, without echo, when standard input is a terminal.\n"
    "\n"
    "Each collection's status line goes to standard output (\"Collection: 17:08   DeltaCRC: 3\",\n"
    "with the lines waiting for an unwritable log), as does each cycle that ended without its\n"
    "collection and why. A router that cannot be reached and the alarm go to standard error; the\n"
    "router is tried again after the interval (after 1 s with --interval 0). SIGTERM, SIGINT or\n"
    "SIGHUP (Ctrl+C, Ctrl+Break or closing the console on Windows) ends the program at once,\n"
    "with no line half written.\n"
    "\n"
    "With --mqtt URL the figures of every cycle go to an MQTT broker as one JSON message on\n"
    "kelvastats/ID/state, with retained online/offline on kelvastats/ID/availability (offline is\n"
    "also the broker's will) and retained Home Assistant discovery messages under PREFIX/sensor/,\n"
    "so the sensors appear in Home Assistant by themselves. The broker's password is the first\n"
    "line of --mqtt-password-file FILE, else of $CREDENTIALS_DIRECTORY/mqtt-password (the systemd\n"
    "credential \"mqtt-password\"; empty for none). A broker that is away costs no collection.\n"
    "\n"
    "With --on-event COMMAND the command runs through the shell (/bin/sh -c; cmd /c on Windows)\n"
    "on each event: alarm, line-down, line-up, retrain, unreachable, reachable, log-unwritable,\n"
    "log-written. Its environment names the event in KELVASTATS_EVENT, its time in\n"
    "KELVASTATS_TIME, one line for a person in KELVASTATS_DETAIL, and the latest figures\n"
    "(KELVASTATS_STATE, KELVASTATS_RATE_DOWN, KELVASTATS_SNR_MARGIN_DOWN, KELVASTATS_CRC_DOWN,\n"
    "...); never a password. It runs apart from the collection, one at a time, and is ended\n"
    "after 30 s; its output goes to standard output after \"on-event EVENT: \".\n"
    "\n"
    "With --report FILE the report of the logs (kelvastats-report) is written to FILE after the\n"
    "first collection and then every --report-every minutes, replaced whole each time.\n"
    "\n"
    "Exit status: 0 when stopped, or when --once collected; 1 when a log cannot be created (or\n"
    "the network cannot start); 2 when a setting is refused, an option is unknown or there is no\n"
    "password; 3 when --once ended without its collection (the reason is on standard error: a\n"
    "router that refused the login is one).";

// A decimal number of digits only, at most `max`; nullopt for anything else.
std::optional<std::int32_t> whole_number(std::string_view text, std::int32_t max) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// Why the router's address is refused, or "" when it is usable. A host name is taken as it is; it
// is looked up at each connect, as the window program does.
std::string address_refusal(std::string_view address) {
    std::uint32_t dotted = 0;
    if (read_dotted_address(address, dotted)) {
        if (is_refused_address(dotted))
            return "--address " + std::string(address) +
                   " is refused: 0.0.0.0/8 and 255.255.255.255 are not a router";
        return "";
    }
    if (looks_like_host_name(address)) return "";
    return "--address takes an IPv4 address or a host name, not \"" + std::string(address) + "\"";
}

// The message for words that CLI11 did not take. The first unknown option is named without its
// value, which might be a password.
std::string unexpected_words_message(const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        if (!word.starts_with("-")) continue;
        const std::string name = word.substr(0, word.find('='));
        if (name == "--password")
            return "there is no --password: the password never goes on the command line, where "
                   "every user of the machine can read it (see --password-file)";
        return "unknown option " + name + " (see --help)";
    }
    return "unexpected argument (the options are listed by --help)";
}

// A topic level of ours: letters, digits, "_" and "-" only, so that it can never hold an MQTT
// wildcard or a level separator.
bool topic_word(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
}

// Why the MQTT options are refused, or "". An empty value is the service's way of leaving an
// option out: the default.
std::string mqtt_refusal(CollectorOptions& options) {
    if (options.mqtt_discovery_prefix.empty()) options.mqtt_discovery_prefix = "homeassistant";
    if (options.mqtt_url.empty()) return "";
    if (!MqttLink::available())
        return "--mqtt: this build of kelvastats-collect has no MQTT (libmosquitto is not built "
               "for Windows)";
    MqttAddress address;
    if (std::string why = read_mqtt_url(options.mqtt_url, address); !why.empty())
        // A URL with an "@" may hold a password: it is not repeated.
        return (options.mqtt_url.find('@') == std::string::npos
                    ? "--mqtt " + options.mqtt_url + " is refused: "
                    : std::string("--mqtt is refused: ")) +
               why;
    if (options.mqtt_id.empty()) options.mqtt_id = default_mqtt_id(options.address);
    if (!topic_word(options.mqtt_id))
        return "--mqtt-id takes letters, digits, _ and - only, not \"" + options.mqtt_id + "\"";
    const std::string& prefix = options.mqtt_discovery_prefix;
    if (prefix.find_first_of("+#") != std::string::npos || prefix.front() == '/' ||
        prefix.back() == '/' || prefix.find("//") != std::string::npos)
        return "--mqtt-discovery-prefix takes topic levels without + or # and without an empty "
               "level, not \"" +
               prefix + "\"";
    if (options.mqtt_user.find_first_of("\r\n") != std::string::npos)
        return "--mqtt-user takes a name on one line";
    if (!options.mqtt_ca_file.empty() && !address.tls)
        return "--mqtt-cafile is for an mqtts:// broker, and " + options.mqtt_url + " is not one";
    return "";
}

ParsedOptions refused(std::string message) {
    ParsedOptions parsed;
    parsed.exit_status = exit_refused;
    parsed.text = std::move(message);
    return parsed;
}

}  // namespace

ParsedOptions parse_collector_options(int argc, const char* const argv[]) {
    ParsedOptions parsed;
    CollectorOptions& options = parsed.options;
    std::string port = "23", interval = "1", alarm = "0", report_every = "60";
    if (const std::string_view word = option_without_value(argc, argv); !word.empty())
        return refused(std::string(word) + " has no value after the \"=\"");
    try {
        CLI::App app(description, "kelvastats-collect");
        app.set_version_flag("--version", "kelvastats-collect " + std::string(program_version()));
        app.footer(footer);
        app.allow_extras();
        // An option given twice takes its last value, so a later word overrides an earlier one.
        app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        app.add_option("--address", options.address, "the router's IPv4 address or host name")
            ->capture_default_str()
            ->type_name("ADDRESS");
        app.add_option("--port", port, "the router's telnet port, 1 to 65535")
            ->capture_default_str()
            ->type_name("PORT");
        app.add_option("--interval", interval,
                       "minutes between collections, whole; 0 for one right after the other")
            ->capture_default_str()
            ->type_name("MINUTES");
        app.add_option("--alarm", alarm,
                       "CRC errors of one interval above which the alarm is said; 0 for none")
            ->capture_default_str()
            ->type_name("ERRORS");
        app.add_option("--directory", options.directory, "where the two logs go")
            ->capture_default_str()
            ->type_name("DIR");
        app.add_option("--password-file", options.password_file,
                       "a file whose first line is the router's password")
            ->type_name("FILE");
        app.add_option("--metrics", options.metrics_file,
                       "after every cycle, the latest figures in Prometheus's text format")
            ->type_name("FILE");
        app.add_option("--router", options.router,
                       "the router's family: classic, broadcom (xdslctl) or draytek (vdsl status)")
            ->capture_default_str()
            ->type_name("NAME");
        app.add_option("--user", options.user,
                       "the login name that the broadcom and draytek families answer the router's "
                       "login prompt with")
            ->capture_default_str()
            ->type_name("NAME");
        app.add_option("--mqtt", options.mqtt_url,
                       "an MQTT broker for Home Assistant: mqtt://HOST[:PORT] or "
                       "mqtts://HOST[:PORT] (TLS); empty for none")
            ->type_name("URL");
        app.add_option("--mqtt-user", options.mqtt_user, "the user name at the broker")
            ->type_name("NAME");
        app.add_option("--mqtt-password-file", options.mqtt_password_file,
                       "a file whose first line is the broker's password")
            ->type_name("FILE");
        app.add_option("--mqtt-cafile", options.mqtt_ca_file,
                       "the certificate authority of an mqtts:// broker, in PEM (default: the "
                       "system's)")
            ->type_name("FILE");
        app.add_option("--mqtt-id", options.mqtt_id,
                       "the collector's name in the topics (default: the router's address, its "
                       "dots made _)")
            ->type_name("ID");
        app.add_option("--mqtt-discovery-prefix", options.mqtt_discovery_prefix,
                       "Home Assistant's discovery prefix")
            ->capture_default_str()
            ->type_name("PREFIX");
        app.add_option("--on-event", options.on_event,
                       "a command run through the shell on each event (see below)")
            ->type_name("COMMAND");
        app.add_option("--report", options.report_file,
                       "the HTML report of the logs, kept fresh in FILE")
            ->type_name("FILE");
        app.add_option("--report-every", report_every, "minutes between two reports")
            ->capture_default_str()
            ->type_name("MINUTES");
        app.add_flag("--once", options.once,
                     "one cycle, then exit: 0 when it collected, 3 when it did not");
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp&) {
            parsed.exit_status = exit_done;
            parsed.text = app.help();
            return parsed;
        } catch (const CLI::CallForVersion& version) {
            parsed.exit_status = exit_done;
            parsed.text = std::string(version.what()) + "\n";
            return parsed;
        }
        if (!app.remaining().empty()) return refused(unexpected_words_message(app.remaining()));
    } catch (const std::exception& error) {
        return refused(error.what());
    }

    const auto port_number = whole_number(port, 65535);
    if (!port_number || *port_number == 0)
        return refused("--port takes a whole number from 1 to 65535, not \"" + port + "\"");
    options.port = *port_number;
    const auto minutes = whole_number(interval, max_interval_minutes);
    if (!minutes)
        return refused("--interval takes a whole number of minutes from 0 to " +
                       std::to_string(max_interval_minutes) + ", not \"" + interval + "\"");
    options.interval_minutes = *minutes;
    const auto threshold = whole_number(alarm, std::numeric_limits<std::int32_t>::max());
    if (!threshold)
        return refused("--alarm takes a whole number of CRC errors (0: no alarm), not \"" + alarm +
                       "\"");
    options.alarm_threshold = *threshold;
    if (std::string why = address_refusal(options.address); !why.empty())
        return refused(std::move(why));
    if (options.directory.empty()) return refused("--directory is empty");
    if (find_router_family(options.router) == nullptr)
        return refused("--router takes one of " + router_family_names() + ", not \"" +
                       options.router + "\"");
    if (options.user.find_first_of("\r\n") != std::string::npos || options.user.empty())
        return refused("--user takes a login name on one line, not an empty one");
    if (std::string why = mqtt_refusal(options); !why.empty()) return refused(std::move(why));
    if (report_every.empty()) report_every = "60";  // an empty setting of the service
    const auto every = whole_number(report_every, max_interval_minutes);
    if (!every || *every == 0)
        return refused("--report-every takes a whole number of minutes from 1 to " +
                       std::to_string(max_interval_minutes) + ", not \"" + report_every + "\"");
    options.report_every_minutes = *every;
    return parsed;
}
