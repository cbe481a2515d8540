// kelvastats-router-sim: runs the simulated router until interrupted, so KelvaStats can be tried
// without a router (point its address at 127.0.0.1 and its port at the one printed).

#include <CLI/CLI.hpp>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/option_words.h"
#include "runtime/version.h"
#include "tools/router_sim.h"
#include "tools/stop_signal.h"

namespace {

constexpr std::string_view program_name = "kelvastats-router-sim";
constexpr std::uint16_t default_port = 2323;
constexpr int exit_refused = 2;

constexpr const char* description =
    "kelvastats-router-sim: plays a DSL router's command-line interface on a TCP port until\n"
    "interrupted (Ctrl-C). --router classic (the default): a password prompt on connect, then\n"
    "\"show adsl\", \"adsl showbins\" and \"exit\". --router broadcom: telnet negotiation, "
    "\"Login:\",\n"
    "\"Password:\", then \"xdslctl info --stats\", \"xdslctl info --Bits\", \"xdslctl info "
    "--SNR\".\n"
    "--router draytek: \"Account:\", \"Password:\", then \"vdsl status\", \"vdsl status more\",\n"
    "\"vdsl showbins\". The last two report a line that retrains now and then (--line).\n"
    "Lines may end with \"\\r\", \"\\n\" or \"\\r\\n\".";

constexpr const char* footer =
    "Faults, each for one reply POINT: greeting (the login prompt), login (the answer to a\n"
    "password), status (the line's status: \"show adsl\", \"xdslctl info --stats\", \"vdsl "
    "status\"\n"
    "and \"vdsl status more\") or bins (the tone tables: \"adsl showbins\", \"xdslctl info "
    "--Bits\"\n"
    "and \"--SNR\", \"vdsl showbins\"). Each fault option may be given for several points.\n"
    "\n"
    "A refused option or value ends the program with status 2 and one line on standard error.";

bool parse_int(std::string_view text, int& value) {
    if (text.empty()) return false;
    std::string copy(text);
    char* end = nullptr;
    const long parsed = std::strtol(copy.c_str(), &end, 10);
    if (*end != '\0' || parsed < INT_MIN || parsed > INT_MAX) return false;
    value = static_cast<int>(parsed);
    return true;
}

// "POINT=N" or, for the actions, "POINT".
bool parse_point(std::string_view text, ReplyPoint& point, int* value) {
    const std::size_t equals = text.find('=');
    const auto named = reply_point_named(text.substr(0, equals));
    if (!named) return false;
    point = *named;
    if (value == nullptr) return equals == std::string_view::npos;
    return equals != std::string_view::npos && parse_int(text.substr(equals + 1), *value);
}

struct FaultOption {
    const char* name;
    const char* value_name;  // "" for the actions, which take the point alone
    int minimum;
    const char* help;
    void (*apply)(ReplyFault& fault, int value);
};

constexpr std::array<FaultOption, 11> fault_options = {{
    {"--chunks", "N", 1, "split the reply into N pieces",
     [](ReplyFault& f, int n) { f.chunks = n; }},
    {"--chunk-bytes", "N", 1, "split the reply into pieces of N bytes (1: one byte a piece)",
     [](ReplyFault& f, int n) { f.chunk_bytes = n; }},
    {"--chunk-pause", "MS", 0, "pause between pieces (give more than 300 for separate polls)",
     [](ReplyFault& f, int n) { f.chunk_pause_ms = n; }},
    {"--delay", "MS", 0, "wait before the reply", [](ReplyFault& f, int n) { f.delay_ms = n; }},
    {"--zero-byte", "K", 0, "make byte K of the reply a zero byte",
     [](ReplyFault& f, int n) { f.zero_byte_at = n; }},
    {"--pad", "BYTES", 0, "add filler lines until the reply has BYTES bytes (try 9000)",
     [](ReplyFault& f, int n) { f.pad_to_bytes = n; }},
    {"--random", "BYTES", 0, "send BYTES random bytes instead of the reply",
     [](ReplyFault& f, int n) { f.random_bytes = n; }},
    {"--omit", "", 0, "send no reply there, and go on",
     [](ReplyFault& f, int) { f.action = ReplyAction::omit; }},
    {"--close", "", 0, "close the connection instead of replying",
     [](ReplyFault& f, int) { f.action = ReplyAction::close; }},
    {"--silent", "", 0, "fall silent there for the rest of the session",
     [](ReplyFault& f, int) { f.action = ReplyAction::fall_silent; }},
    {"--reset", "", 0, "send half the reply, then reset the connection",
     [](ReplyFault& f, int) { f.action = ReplyAction::reset_midway; }},
}};

struct Parsed {
    RouterSimOptions options;
    bool quiet = false;
    // -1: run. Otherwise end at once with this status; `refusal` is the line for standard error
    // when it is not 0.
    int exit_status = -1;
    std::string refusal;
};

Parsed refused(std::string message) {
    Parsed parsed;
    parsed.exit_status = exit_refused;
    parsed.refusal = std::move(message);
    return parsed;
}

// The command line, checked. Faults are applied in the order they were given, so that of two
// actions for one point the later one holds, as it always has.
Parsed parse_command_line(int argc, char** argv) {
    Parsed parsed;
    RouterSimOptions& options = parsed.options;
    options.port = default_port;
    std::string address = options.address, port = std::to_string(default_port);
    std::string router = "classic", line = "vdsl17a", fec_growth, crc_growth, seed;
    std::string fault_sessions;
    bool line_down = false;
    std::map<const CLI::Option*, const FaultOption*> fault_of;

    CLI::App app(description, std::string(program_name));
    app.allow_windows_style_options(false);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_version_flag("--version",
                         std::string(program_name) + " " + std::string(program_version()),
                         "print the program's version");
    app.footer(footer);
    app.add_option("--address", address, "listen on this IPv4 address")
        ->capture_default_str()
        ->type_name("A");
    app.add_option("--port", port, "listen on port N (0 picks a free port)")
        ->capture_default_str()
        ->type_name("N");
    app.add_option("--router", router, "the family to play: classic, broadcom or draytek")
        ->capture_default_str()
        ->type_name("NAME");
    app.add_option("--line", line,
                   "the line of the broadcom and draytek families: adsl2plus or vdsl17a")
        ->capture_default_str()
        ->type_name("KIND");
    app.add_flag("--line-down", line_down,
                 "the broadcom or draytek line never comes up: no rates, empty tables");
    app.add_option("--user", options.user,
                   "the login name the broadcom and draytek families accept")
        ->capture_default_str()
        ->type_name("NAME");
    app.add_option("--password", options.password, "the password the router accepts")
        ->capture_default_str()
        ->type_name("P");
    app.add_flag("--refuse-logins", options.refuse_logins,
                 "refuse every login, the right password too");
    app.add_option("--fec-growth", fec_growth,
                   "what each collection adds to the classic FEC counter (default 50)")
        ->type_name("N");
    app.add_option("--crc-growth", crc_growth,
                   "what each collection adds to the classic CRC counter (default 3)")
        ->type_name("N");
    app.add_flag("--lockstep", options.lockstep,
                 "after the greeting, send each piece once the client has sent something");
    app.add_option("--seed", seed, "seed for --random and for the line's figures (default 1)")
        ->type_name("N");
    app.add_flag("--quiet", parsed.quiet, "print only where the router listens");
    std::vector<std::vector<std::string>> fault_values(fault_options.size());
    for (std::size_t i = 0; i < fault_options.size(); ++i) {
        const FaultOption& fault = fault_options[i];
        const std::string value_name =
            *fault.value_name ? std::string("POINT=") + fault.value_name : "POINT";
        CLI::Option* option = app.add_option(fault.name, fault_values[i], fault.help)
                                  ->type_name(value_name)
                                  ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                                  ->allow_extra_args(false);
        fault_of[option] = &fault;
    }
    app.add_option("--fault-sessions", fault_sessions,
                   "the faults apply to sessions A to B only (numbered from 1)")
        ->type_name("A-B");

    if (const std::string_view word = option_without_value(argc, argv); !word.empty())
        return refused(std::string(word) + " has no value after the \"=\" (see --help)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {  // --help and --version
        parsed.exit_status = app.exit(done);
        return parsed;
    } catch (const CLI::ParseError& error) {
        return refused(std::string(error.what()) + " (see --help)");
    } catch (const std::exception& error) {
        return refused(error.what());
    }

    int number = 0;
    options.address = address;
    if (!parse_int(port, number) || number < 0 || number > 65535)
        return refused("--port takes a whole number from 0 to 65535, not \"" + port + "\"");
    options.port = static_cast<std::uint16_t>(number);
    const auto family = sim_family_named(router);
    if (!family)
        return refused("--router takes classic, broadcom or draytek, not \"" + router + "\"");
    options.family = *family;
    if (!line_kind_named(line, options.line.kind))
        return refused("--line takes adsl2plus or vdsl17a, not \"" + line + "\"");
    options.line.down = line_down;
    if (options.family == SimFamily::classic && (app.count("--line") > 0 || line_down))
        return refused("--line and --line-down are for --router broadcom or draytek");
    if (options.user.empty() || options.user.find_first_of("\r\n") != std::string::npos)
        return refused("--user takes a login name on one line, not an empty one");
    const auto whole = [&number](const std::string& text, const char* name, std::string& why) {
        if (parse_int(text, number)) return true;
        why = std::string(name) + " takes a whole number, not \"" + text + "\"";
        return false;
    };
    std::string why;
    if (!fec_growth.empty()) {
        if (!whole(fec_growth, "--fec-growth", why)) return refused(why);
        options.counter_growth.fec = number;
    }
    if (!crc_growth.empty()) {
        if (!whole(crc_growth, "--crc-growth", why)) return refused(why);
        options.counter_growth.crc = number;
    }
    if (!seed.empty()) {
        if (!whole(seed, "--seed", why)) return refused(why);
        options.random_seed = static_cast<std::uint32_t>(number);
        options.line.seed = static_cast<std::uint32_t>(number);
    }

    // Each fault option's values, taken in the order the options came on the command line.
    std::map<const CLI::Option*, std::size_t> used;
    for (const CLI::Option* option : app.parse_order()) {
        const auto found = fault_of.find(option);
        if (found == fault_of.end()) continue;
        const FaultOption& fault = *found->second;
        const std::vector<std::string>& values =
            fault_values[static_cast<std::size_t>(found->second - fault_options.data())];
        const std::size_t index = used[option]++;
        if (index >= values.size()) continue;
        const std::string& value = values[index];
        ReplyPoint point{};
        const bool takes_number = *fault.value_name != '\0';
        if (!parse_point(value, point, takes_number ? &number : nullptr) ||
            (takes_number && number < fault.minimum)) {
            return refused(std::string(fault.name) + " takes " +
                           (takes_number ? std::string("POINT=") + fault.value_name +
                                               " (at least " + std::to_string(fault.minimum) + ")"
                                         : std::string("POINT")) +
                           ", POINT one of greeting, login, status, bins; not \"" + value + "\"");
        }
        fault.apply(options.faults[static_cast<std::size_t>(point)], number);
    }
    int first_session = 1;
    int last_session = INT_MAX;
    if (!fault_sessions.empty()) {
        const std::size_t dash = fault_sessions.find('-');
        if (dash == std::string::npos ||
            !parse_int(fault_sessions.substr(0, dash), first_session) ||
            !parse_int(fault_sessions.substr(dash + 1), last_session)) {
            return refused("--fault-sessions wants A-B, not \"" + fault_sessions + "\"");
        }
    }
    for (ReplyFault& fault : options.faults) {
        fault.first_session = first_session;
        fault.last_session = last_session;
    }
    return parsed;
}

std::string_view family_name(SimFamily family) {
    switch (family) {
        case SimFamily::broadcom:
            return "broadcom";
        case SimFamily::draytek:
            return "draytek";
        case SimFamily::classic:
            break;
    }
    return "classic";
}

}  // namespace

int main(int argc, char** argv) {
    Parsed parsed = parse_command_line(argc, argv);
    if (parsed.exit_status >= 0) {
        if (!parsed.refusal.empty()) std::cerr << program_name << ": " << parsed.refusal << "\n";
        return parsed.exit_status;
    }
    RouterSimOptions& options = parsed.options;

    std::mutex output;
    if (!parsed.quiet) {
        options.log = [&output](std::string_view event) {
            std::lock_guard lock(output);
            std::cout << event << std::endl;
        };
    }

    // Before the simulator's thread exists, so only the wait below sees a stop request.
    hold_stop_signals();

    RouterSim sim(options);
    if (!sim.start()) {
        std::cerr << program_name << ": cannot listen on " << options.address << ": " << sim.error()
                  << "\n";
        return exit_refused;
    }
    {
        std::lock_guard lock(output);
        std::cout << program_name << " listening on " << options.address << ":" << sim.port();
        if (options.family != SimFamily::classic) {
            std::cout << ", router " << family_name(options.family) << " ("
                      << (options.line.kind == LineKind::vdsl17a ? "vdsl17a" : "adsl2plus")
                      << (options.line.down ? ", line down" : "") << "), user \"" << options.user
                      << "\"";
        }
        std::cout << ", password \"" << options.password << "\""
                  << (options.refuse_logins ? ", every login refused" : "") << std::endl;
    }
    wait_for_stop_signal();
    sim.stop();
    std::cout << "stopped after " << sim.collections() << " collection(s)" << std::endl;
    return 0;
}
