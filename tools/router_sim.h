// A simulated DSL router on a loopback TCP port: it plays a router's command-line interface for
// the tests and for trying KelvaStats without a router, and can misbehave in the ways a real
// router or line might. Three families: the classic router (password prompt, "show adsl", "adsl
// showbins", "exit"), a Broadcom gateway (telnet negotiation, "Login:", xdslctl) and a DrayTek
// Vigor ("Account:", vdsl status); the last two report the line of tools/line_model.h.
#pragma once

#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/line_model.h"
#include "tools/router_replies.h"

enum class SimFamily {
    classic,   // "Password:", "show adsl", "adsl showbins"
    broadcom,  // telnet negotiation, "Login:", "Password:", xdslctl info --stats, --Bits, --SNR
    draytek,   // "Account:", "Password:", vdsl status, vdsl status more, vdsl showbins
};

// The replies of one session that faults can shape, in the order a normal dialog meets them.
// The echo of a command line and the broadcom family's telnet negotiation are not among them.
enum class ReplyPoint {
    greeting,  // the login prompt sent on connect ("Password:", "Login:", "Account:")
    login,     // the answer to a password (the command prompt, or an error and a login prompt)
    status,    // "show adsl", "xdslctl info --stats", "vdsl status" and "vdsl status more"
    bins,      // "adsl showbins", "xdslctl info --Bits" and "--SNR", "vdsl showbins"
};
inline constexpr std::size_t reply_point_count = 4;

enum class ReplyAction {
    send,          // send the reply, shaped by the other fields of the fault
    omit,          // send nothing for this one; the session goes on
    close,         // close the connection instead of replying
    fall_silent,   // send nothing, now or later; the connection stays open until the client closes
    reset_midway,  // send the first half of the reply, then reset the connection (RST)
};

// How the simulator misbehaves at one reply point. The default is a well-behaved router.
struct ReplyFault {
    ReplyAction action = ReplyAction::send;
    // The sessions (numbered from 1 in order of connection) the fault applies to.
    int first_session = 1;
    int last_session = INT_MAX;
    // The reply's text, in this order: replaced, or made of random bytes, then padded with filler
    // lines to at least pad_to_bytes, then the byte at zero_byte_at set to 0.
    std::optional<std::string> replacement;
    int random_bytes = 0;
    int pad_to_bytes = 0;
    int zero_byte_at = -1;
    // Sent after delay_ms in pieces: chunk_bytes each (1: one byte a piece) or, without that,
    // `chunks` pieces of near-equal size, chunk_pause_ms apart.
    int delay_ms = 0;
    int chunks = 1;
    int chunk_bytes = 0;
    int chunk_pause_ms = 0;
};

struct RouterSimOptions {
    std::string address = "127.0.0.1";
    std::uint16_t port = 0;  // 0: a free port, see RouterSim::port
    SimFamily family = SimFamily::classic;
    std::string user = "admin";  // the login name of the broadcom and draytek families
    std::string password = "secret";
    // Every login is refused, the right password too, as a router whose account was changed.
    bool refuse_logins = false;
    // The error counters of the classic family's first "show adsl" reply, and what each later
    // collection adds.
    LineCounters first_counters{1200, 30, 2, 0, 0};
    LineCounters counter_growth{50, 3, 0, 0, 0};
    // The line the broadcom and draytek families report; collection n is the n-th status reply.
    LineModelOptions line;
    // Lockstep: after the greeting, each piece waits until the client has sent something since
    // the piece before it. A client that answers every chunk then reads every piece on its own.
    bool lockstep = false;
    // A real router closes the connection on "exit". Without that the session ends only when
    // the client closes, so the end of a session tells when the client has finished its cycle.
    bool close_on_exit = true;
    // Sessions from this number on get no greeting until set_park_from_session lets them go;
    // 0 parks none. A client parked so waits quietly for the router's first words.
    int park_from_session = 0;
    std::array<ReplyFault, reply_point_count> faults{};
    std::uint32_t random_seed = 1;
    // Told about connections, lines received and closes; called on the simulator's thread.
    std::function<void(std::string_view event)> log;
};

// What one session saw and did.
struct SessionRecord {
    int number = 0;
    std::string received;                                // every byte the client sent, in order
    std::string sent;                                    // every byte that went out
    std::array<std::string, reply_point_count> replies;  // the last reply shaped at each point
    bool logged_in = false;  // the user name (where asked for) and the password were accepted
    bool completed = false;  // "exit" was received
    bool ended = false;      // the connection is closed, by either side
};

class RouterSim {
  public:
    explicit RouterSim(RouterSimOptions options = {});
    ~RouterSim();  // stops
    RouterSim(const RouterSim&) = delete;
    RouterSim& operator=(const RouterSim&) = delete;

    // Listens and serves on a thread of its own. False when the address cannot be bound; error()
    // then says why.
    bool start();
    // Closes every connection and the listener and waits for the thread. Safe to call twice.
    void stop();

    std::uint16_t port() const;
    std::string error() const;

    std::vector<SessionRecord> sessions() const;
    // The number of status replies sent so far: "show adsl", "xdslctl info --stats" or "vdsl
    // status" (not "vdsl status more"). The bit table of a session is that of its last status
    // reply, or of the next collection when it had none.
    int collections() const;

    // Wait until this many sessions have been accepted, or have ended; false on timeout.
    bool wait_for_sessions_started(int count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(20));
    bool wait_for_sessions_ended(int count,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // Moves the parking threshold (0: none); parked sessions below it get their greeting now.
    void set_park_from_session(int session);

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// Parses a reply point name: "greeting", "login", "status" or "bins".
std::optional<ReplyPoint> reply_point_named(std::string_view name);
// Parses a family name: "classic", "broadcom" or "draytek".
std::optional<SimFamily> sim_family_named(std::string_view name);
