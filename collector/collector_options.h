// The collector's command line: the settings it fills, each checked before anything connects.
#pragma once

#include <cstdint>
#include <string>

// Exit statuses of kelvastats-collect.
inline constexpr int exit_done = 0;           // stopped, or --once collected
inline constexpr int exit_failed = 1;         // a log could not be created, the network not start
inline constexpr int exit_refused = 2;        // a refused setting, an unknown option, no password
inline constexpr int exit_not_collected = 3;  // --once ended without its collection

struct CollectorOptions {
    std::string address = "192.168.1.1";
    std::int32_t port = 23;
    std::int32_t interval_minutes = 1;  // 0: one cycle right after the other
    std::int32_t alarm_threshold = 0;   // 0: off
    std::string directory = ".";        // where the two logs go
    std::string password_file;          // empty when not given
    std::string metrics_file;           // empty when not given
    std::string router = "classic";     // the router family, a name of routers/router_families.h
    std::string user = "admin";         // the login name the families with a login prompt ask for
    bool once = false;

    // MQTT for Home Assistant: off while mqtt_url is empty.
    std::string mqtt_url;
    std::string mqtt_user;           // empty for none
    std::string mqtt_password_file;  // empty: the credential, else none
    std::string mqtt_ca_file;        // empty: the system's authorities
    std::string mqtt_id;             // empty: made from the address
    std::string mqtt_discovery_prefix = "homeassistant";

    std::string on_event;     // the command run for each event; empty for none
    std::string report_file;  // the report kept fresh; empty for none
    std::int32_t report_every_minutes = 60;
};

struct ParsedOptions {
    CollectorOptions options;
    // -1: go on and collect. Otherwise end at once with this status: 0 after --help or --version
    // (`text` for standard output), exit_refused after a bad command line (`text` is the one line
    // for standard error, without its line end).
    int exit_status = -1;
    std::string text;
};

// Reads the command line and checks every value as the worker would use it. Never throws.
ParsedOptions parse_collector_options(int argc, const char* const argv[]);

// The interval the settings record can hold: minutes times 60000 must fit 32 bits.
inline constexpr std::int32_t max_interval_minutes = 35791;
