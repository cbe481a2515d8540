// kelvastats-router-sim: runs the simulated router until interrupted, so KelvaStats can be tried
// without a router (point its address at 127.0.0.1 and its port at the one printed).

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/version.h"
#include "tools/router_sim.h"
#include "tools/stop_signal.h"

namespace {

constexpr std::uint16_t default_port = 2323;

constexpr std::string_view usage = R"(Usage: kelvastats-router-sim [options]

Plays a DSL router's command-line interface on a TCP port: a password prompt on connect, then
"show adsl", "adsl showbins" and "exit". Lines may end with "\r", "\n" or "\r\n". Runs until
interrupted (Ctrl-C).

  --address A          listen on address A (default 127.0.0.1)
  --port N             listen on port N (default 2323; 0 picks a free port)
  --password P         the password the router accepts (default "secret")
  --fec-growth N       what each collection adds to the FEC counter (default 50)
  --crc-growth N       what each collection adds to the CRC counter (default 3)
  --lockstep           after the greeting, send each piece only once the client has sent
                       something since the previous one
  --seed N             seed for --random (default 1)
  --quiet              print only where the router listens
  --help               show this text
  --version            print the program's version

Faults, each for one reply POINT: greeting (the password prompt), login (the answer to a
password), status (the answer to "show adsl") or bins (the answer to "adsl showbins"):
  --chunks POINT=N         split the reply into N pieces
  --chunk-bytes POINT=N    split the reply into pieces of N bytes (1: one byte a piece)
  --chunk-pause POINT=MS   pause between pieces (give more than 300 for separate polls)
  --delay POINT=MS         wait before the reply
  --zero-byte POINT=K      make byte K of the reply a zero byte
  --pad POINT=BYTES        add filler lines until the reply has BYTES bytes (try 9000)
  --random POINT=BYTES     send BYTES random bytes instead of the reply
  --omit POINT             send no reply there, and go on
  --close POINT            close the connection instead of replying
  --silent POINT           fall silent there for the rest of the session
  --reset POINT            send half the reply, then reset the connection
  --fault-sessions A-B     the faults apply to sessions A to B only (numbered from 1)
)";

bool parse_int(std::string_view text, int& value) {
    if (text.empty()) return false;
    std::string copy(text);
    char* end = nullptr;
    long parsed = std::strtol(copy.c_str(), &end, 10);
    if (*end != '\0' || parsed < INT_MIN || parsed > INT_MAX) return false;
    value = static_cast<int>(parsed);
    return true;
}

// "POINT=N" or, for the actions, "POINT".
bool parse_point(std::string_view text, ReplyPoint& point, int* value) {
    std::size_t equals = text.find('=');
    auto named = reply_point_named(text.substr(0, equals));
    if (!named) return false;
    point = *named;
    if (value == nullptr) return equals == std::string_view::npos;
    return equals != std::string_view::npos && parse_int(text.substr(equals + 1), *value);
}

int fail(std::string_view message) {
    std::cerr << "kelvastats-router-sim: " << message << "\n(--help lists the options)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    RouterSimOptions options;
    options.port = default_port;
    bool quiet = false;
    int first_session = 1;
    int last_session = INT_MAX;

    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << usage;
            return 0;
        }
        if (option == "--version") {
            std::cout << "kelvastats-router-sim " << program_version() << "\n";
            return 0;
        }
        if (option == "--lockstep") {
            options.lockstep = true;
            continue;
        }
        if (option == "--quiet") {
            quiet = true;
            continue;
        }
        if (i + 1 >= argc) return fail(std::string(option) + " needs a value or is unknown");
        const std::string_view value = argv[++i];
        int number = 0;
        ReplyPoint point{};
        auto fault = [&options, &point]() -> ReplyFault& {
            return options.faults[static_cast<std::size_t>(point)];
        };
        if (option == "--address") {
            options.address = value;
        } else if (option == "--password") {
            options.password = value;
        } else if (option == "--port" && parse_int(value, number) && number >= 0 &&
                   number <= 65535) {
            options.port = static_cast<std::uint16_t>(number);
        } else if (option == "--fec-growth" && parse_int(value, number)) {
            options.counter_growth.fec = number;
        } else if (option == "--crc-growth" && parse_int(value, number)) {
            options.counter_growth.crc = number;
        } else if (option == "--seed" && parse_int(value, number)) {
            options.random_seed = static_cast<std::uint32_t>(number);
        } else if (option == "--chunks" && parse_point(value, point, &number) && number >= 1) {
            fault().chunks = number;
        } else if (option == "--chunk-bytes" && parse_point(value, point, &number) && number >= 1) {
            fault().chunk_bytes = number;
        } else if (option == "--chunk-pause" && parse_point(value, point, &number) && number >= 0) {
            fault().chunk_pause_ms = number;
        } else if (option == "--delay" && parse_point(value, point, &number) && number >= 0) {
            fault().delay_ms = number;
        } else if (option == "--zero-byte" && parse_point(value, point, &number) && number >= 0) {
            fault().zero_byte_at = number;
        } else if (option == "--pad" && parse_point(value, point, &number) && number >= 0) {
            fault().pad_to_bytes = number;
        } else if (option == "--random" && parse_point(value, point, &number) && number >= 0) {
            fault().random_bytes = number;
        } else if (option == "--omit" && parse_point(value, point, nullptr)) {
            fault().action = ReplyAction::omit;
        } else if (option == "--close" && parse_point(value, point, nullptr)) {
            fault().action = ReplyAction::close;
        } else if (option == "--silent" && parse_point(value, point, nullptr)) {
            fault().action = ReplyAction::fall_silent;
        } else if (option == "--reset" && parse_point(value, point, nullptr)) {
            fault().action = ReplyAction::reset_midway;
        } else if (option == "--fault-sessions") {
            std::size_t dash = value.find('-');
            if (dash == std::string_view::npos ||
                !parse_int(value.substr(0, dash), first_session) ||
                !parse_int(value.substr(dash + 1), last_session)) {
                return fail("--fault-sessions wants A-B");
            }
        } else {
            return fail("bad option or value: " + std::string(option) + " " + std::string(value));
        }
    }
    for (ReplyFault& fault : options.faults) {
        fault.first_session = first_session;
        fault.last_session = last_session;
    }

    std::mutex output;
    if (!quiet) {
        options.log = [&output](std::string_view event) {
            std::lock_guard lock(output);
            std::cout << event << std::endl;
        };
    }

    // Before the simulator's thread exists, so only the wait below sees a stop request.
    hold_stop_signals();

    RouterSim sim(options);
    if (!sim.start()) return fail("cannot listen on " + options.address + ": " + sim.error());
    {
        std::lock_guard lock(output);
        std::cout << "kelvastats-router-sim listening on " << options.address << ":" << sim.port()
                  << ", password \"" << options.password << "\"" << std::endl;
    }
    wait_for_stop_signal();
    sim.stop();
    std::cout << "stopped after " << sim.collections() << " collection(s)" << std::endl;
    return 0;
}
