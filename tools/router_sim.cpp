// The simulated router: one thread polls the listener and every session, answers each line the
// client sends the way the family's command-line interface would, and shapes the replies by the
// configured faults.
#include "tools/router_sim.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "tools/broadcom_replies.h"
#include "tools/draytek_replies.h"
#include "tools/sim_socket.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view greeting_text = "\r\nKelva ADSL router\r\n\r\nPassword: ";
constexpr std::string_view login_accepted_text = "\r\nLogin successful\r\n> ";
constexpr std::string_view login_refused_text = "\r\nLogin incorrect\r\n\r\nPassword: ";
constexpr std::string_view prompt_text = "> ";
constexpr std::string_view unknown_command_text = "Unknown command\r\n> ";
constexpr std::string_view filler_line = "..............................\r\n";
constexpr int listen_backlog = 16;

// What the broadcom and draytek families print around their replies. A refused login goes back
// to the step after_refusal.
enum class LoginStep { user, password, done };

struct FamilyTexts {
    std::string_view negotiation;  // telnet options offered on connect, before the greeting
    std::string_view greeting;
    std::string_view password_prompt;  // after the echoed user name
    std::string_view accepted;         // a banner and the prompt
    std::string_view refused;
    LoginStep after_refusal = LoginStep::user;
    std::string_view prompt;
    std::string_view unknown_command;  // the error line before the prompt
};

// A BusyBox telnetd's offer (DO ECHO, DO NAWS, WILL ECHO, WILL SGA), then the CLI of a BCM963381
// gateway; a wrong login starts again at "Login:".
constexpr FamilyTexts broadcom_texts = {
    "\xff\xfd\x01\xff\xfd\x1f\xff\xfb\x01\xff\xfb\x03",
    "BCM963381 Broadband Router\r\nLogin: ",
    "Password: ",
    "\r\n\r\nBroadcom CPE command-line interface: type help for its commands\r\n\r\n > ",
    "\r\nLogin incorrect\r\nLogin: ",
    LoginStep::user,
    broadcom_prompt,
    "Command not found.\r\n",
};

// The Vigor console: a wrong password is asked for again.
constexpr FamilyTexts draytek_texts = {
    "",
    "\r\nAccount:",
    "Password: ",
    "\r\n  Type ? for command help\r\n\r\nDrayTek> ",
    "\r\nPassword: ",
    LoginStep::password,
    draytek_prompt,
    "% Unknown command.\r\n",
};

// Where the client's telnet commands (its refusals of the broadcom family's offer) stand in its
// bytes, so that they can be left out of its lines.
enum class TelnetInput { text, command, option, subnegotiation, subnegotiation_command };
constexpr unsigned char telnet_iac = 255;
constexpr unsigned char telnet_sb = 250;
constexpr unsigned char telnet_se = 240;
constexpr unsigned char telnet_will = 251;
constexpr unsigned char telnet_dont = 254;
constexpr std::size_t receive_chunk_bytes = 4096;

enum class PieceKind { data, close, reset };

struct Piece {
    PieceKind kind = PieceKind::data;
    std::string bytes;
    int wait_ms = 0;
    bool continuing = false;  // the rest of a piece that did not go out in one send
    // Goes out with what follows it, outside lockstep: an echo, a telnet negotiation.
    bool unpaced = false;
};

struct Session {
    SimSocket fd = no_sim_socket;
    int number = 0;
    bool logged_in = false;
    bool silent = false;
    bool parked = false;
    bool exiting = false;
    bool skip_line_feed =
        false;  // a "\r" ended the last line, so a "\n" right after it is its part
    bool sent_any = false;
    bool input_since_piece = false;
    bool wants_writable = false;
    int collection = -1;
    LoginStep step = LoginStep::user;
    std::string user;
    TelnetInput telnet = TelnetInput::text;
    std::string line;
    std::deque<Piece> pieces;
    Clock::time_point head_since;
};

std::int32_t grown(std::int32_t first, std::int32_t growth, int collection) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(first) +
                                     static_cast<std::uint32_t>(growth) *
                                         static_cast<std::uint32_t>(collection));
}

}  // namespace

struct RouterSim::Impl {
    RouterSimOptions options;

    mutable std::mutex mutex;  // guards the fields up to `thread`
    std::condition_variable changed;
    std::vector<SessionRecord> records;
    int collections = 0;
    int park_from_session = 0;
    std::string error;
    std::uint16_t port = 0;

    std::thread thread;
    std::atomic<bool> stopping{false};
    SimSocket listen_fd = no_sim_socket;
    // A loopback connection to the simulator's own listener: a byte sent on one end wakes the poll
    // that watches the other.
    SimSocket wake_send_fd = no_sim_socket;
    SimSocket wake_fd = no_sim_socket;
    std::uint32_t random_state = 1;
    std::vector<Session> sessions;  // the simulator thread's own

    explicit Impl(RouterSimOptions given) : options(std::move(given)) {
        park_from_session = options.park_from_session;
        random_state = options.random_seed != 0 ? options.random_seed : 1;
    }

    void log(const Session& session, std::string_view what) {
        if (options.log)
            options.log("session " + std::to_string(session.number) + ": " + std::string(what));
    }

    template <typename Change>
    void update_record(const Session& session, Change change) {
        {
            std::lock_guard lock(mutex);
            change(records[static_cast<std::size_t>(session.number - 1)]);
        }
        changed.notify_all();
    }

    std::uint32_t next_random() {
        random_state ^= random_state << 13;
        random_state ^= random_state >> 17;
        random_state ^= random_state << 5;
        return random_state;
    }

    bool parks(int number) {
        std::lock_guard lock(mutex);
        return park_from_session > 0 && number >= park_from_session;
    }

    void queue(Session& session, Piece piece) {
        if (session.pieces.empty()) session.head_since = Clock::now();
        session.pieces.push_back(std::move(piece));
    }

    // Queues the reply at a point, as the fault configured there shapes it.
    void reply(Session& session, ReplyPoint point, std::string text) {
        if (session.silent) return;
        const ReplyFault& fault = options.faults[static_cast<std::size_t>(point)];
        const bool applies =
            session.number >= fault.first_session && session.number <= fault.last_session;
        if (!applies) {
            update_record(session, [&](SessionRecord& r) {
                r.replies[static_cast<std::size_t>(point)] = text;
            });
            queue(session, Piece{PieceKind::data, std::move(text), 0});
            return;
        }
        if (fault.replacement) text = *fault.replacement;
        if (fault.random_bytes > 0) {
            text.clear();
            for (int i = 0; i < fault.random_bytes; ++i)
                text.push_back(static_cast<char>(next_random() & 0xFF));
        }
        while (text.size() < static_cast<std::size_t>(std::max(fault.pad_to_bytes, 0)))
            text += filler_line;
        if (fault.zero_byte_at >= 0 && static_cast<std::size_t>(fault.zero_byte_at) < text.size()) {
            text[static_cast<std::size_t>(fault.zero_byte_at)] = '\0';
        }
        update_record(session,
                      [&](SessionRecord& r) { r.replies[static_cast<std::size_t>(point)] = text; });

        switch (fault.action) {
            case ReplyAction::omit:
                return;
            case ReplyAction::fall_silent:
                log(session, "falls silent");
                session.silent = true;
                session.pieces.clear();
                return;
            case ReplyAction::close:
                queue(session, Piece{PieceKind::close, {}, fault.delay_ms});
                return;
            case ReplyAction::reset_midway:
                queue(session, Piece{PieceKind::data,
                                     text.substr(0, std::max<std::size_t>(1, text.size() / 2)),
                                     fault.delay_ms});
                queue(session, Piece{PieceKind::reset, {}, 0});
                return;
            case ReplyAction::send:
                break;
        }
        std::size_t piece_bytes = text.size();
        if (fault.chunk_bytes > 0) {
            piece_bytes = static_cast<std::size_t>(fault.chunk_bytes);
        } else if (fault.chunks > 1) {
            piece_bytes = (text.size() + static_cast<std::size_t>(fault.chunks) - 1) /
                          static_cast<std::size_t>(fault.chunks);
        }
        piece_bytes = std::max<std::size_t>(piece_bytes, 1);
        int wait_ms = fault.delay_ms;
        for (std::size_t start = 0; start < text.size(); start += piece_bytes) {
            queue(session, Piece{PieceKind::data, text.substr(start, piece_bytes), wait_ms});
            wait_ms = fault.chunk_pause_ms;
        }
    }

    const FamilyTexts& texts() const {
        return options.family == SimFamily::draytek ? draytek_texts : broadcom_texts;
    }

    // Queues bytes that are no reply point's: an echo, a prompt, the telnet negotiation.
    void say(Session& session, std::string_view bytes, bool unpaced = false) {
        if (session.silent || bytes.empty()) return;
        Piece piece{PieceKind::data, std::string(bytes), 0};
        piece.unpaced = unpaced;
        queue(session, std::move(piece));
    }

    void greet(Session& session) {
        session.parked = false;
        if (options.family == SimFamily::classic) {
            reply(session, ReplyPoint::greeting, std::string(greeting_text));
            return;
        }
        say(session, texts().negotiation, true);
        reply(session, ReplyPoint::greeting, std::string(texts().greeting));
    }

    // The collection a bit table shows: the session's last status reply's, else the next one.
    int bins_collection(const Session& session) {
        if (session.collection >= 0) return session.collection;
        std::lock_guard lock(mutex);
        return collections;
    }

    int next_collection(Session& session) {
        std::lock_guard lock(mutex);
        session.collection = collections++;
        return session.collection;
    }

    void exit_session(Session& session) {
        session.exiting = true;
        update_record(session, [](SessionRecord& r) { r.completed = true; });
        if (!session.silent && options.close_on_exit)
            queue(session, Piece{PieceKind::close, {}, 0});
    }

    // The broadcom and draytek families: the user name, the password, then commands, each line
    // echoed as a terminal would show it (the password excepted).
    void answer_prompt_line(Session& session, const std::string& line) {
        if (session.exiting) return;
        const FamilyTexts& family = texts();
        if (session.step == LoginStep::user) {
            session.user = line;
            session.step = LoginStep::password;
            say(session, line + "\r\n" + std::string(family.password_prompt), true);
            return;
        }
        if (session.step == LoginStep::password) {
            if (!options.refuse_logins && session.user == options.user &&
                line == options.password) {
                log(session, "user \"" + session.user + "\" logged in");
                session.step = LoginStep::done;
                update_record(session, [](SessionRecord& r) { r.logged_in = true; });
                reply(session, ReplyPoint::login, std::string(family.accepted));
            } else {
                log(session, "login refused for user \"" + session.user + "\"");
                session.step = family.after_refusal;
                reply(session, ReplyPoint::login, std::string(family.refused));
            }
            return;
        }
        log(session, "<- \"" + line + "\"");
        say(session, line + "\r\n", true);
        const std::string prompt(family.prompt);
        const bool broadcom = options.family == SimFamily::broadcom;
        if (line == (broadcom ? "xdslctl info --stats" : "vdsl status")) {
            const LineCollection state = line_collection(options.line, next_collection(session));
            log(session, "status of collection " + std::to_string(state.collection) +
                             " with CRC counter " + std::to_string(state.counts.crc.down));
            reply(session, ReplyPoint::status,
                  (broadcom ? broadcom_stats_reply(state) : draytek_status_reply(state)) + prompt);
        } else if (!broadcom && line == "vdsl status more") {
            const LineCollection state = line_collection(options.line, bins_collection(session));
            reply(session, ReplyPoint::status, draytek_status_more_reply(state) + prompt);
        } else if (line == (broadcom ? "xdslctl info --Bits" : "vdsl showbins")) {
            const LineCollection state = line_collection(options.line, bins_collection(session));
            reply(session, ReplyPoint::bins,
                  (broadcom ? broadcom_bits_reply(state) : draytek_showbins_reply(state)) + prompt);
        } else if (broadcom && line == "xdslctl info --SNR") {
            const LineCollection state = line_collection(options.line, bins_collection(session));
            reply(session, ReplyPoint::bins, broadcom_snr_reply(state) + prompt);
        } else if (line == "exit") {
            exit_session(session);
        } else if (line.empty()) {
            say(session, prompt);
        } else {
            say(session, std::string(family.unknown_command) + prompt);
        }
    }

    void answer_line(Session& session, const std::string& line) {
        if (options.family != SimFamily::classic) {
            answer_prompt_line(session, line);
            return;
        }
        if (session.exiting) return;
        if (!session.logged_in) {
            if (line == options.password && !options.refuse_logins) {
                log(session, "password accepted");
                session.logged_in = true;
                update_record(session, [](SessionRecord& r) { r.logged_in = true; });
                reply(session, ReplyPoint::login, std::string(login_accepted_text));
            } else {
                log(session, "wrong password \"" + line + "\"");
                reply(session, ReplyPoint::login, std::string(login_refused_text));
            }
            return;
        }
        log(session, "<- \"" + line + "\"");
        if (line == "show adsl") {
            int collection = 0;
            {
                std::lock_guard lock(mutex);
                collection = collections++;
            }
            session.collection = collection;
            const LineCounters& first = options.first_counters;
            const LineCounters& growth = options.counter_growth;
            LineCounters counters{
                grown(first.fec, growth.fec, collection), grown(first.crc, growth.crc, collection),
                grown(first.hec, growth.hec, collection), grown(first.ncd, growth.ncd, collection),
                grown(first.ocd, growth.ocd, collection)};
            log(session, "status with CRC counter " + std::to_string(counters.crc));
            reply(session, ReplyPoint::status, show_adsl_reply(counters));
        } else if (line == "adsl showbins") {
            int variant = session.collection;
            if (variant < 0) {
                std::lock_guard lock(mutex);
                variant = collections;
            }
            reply(session, ReplyPoint::bins, showbins_reply(variant));
        } else if (line == "exit") {
            exit_session(session);
        } else if (line.empty()) {
            if (!session.silent)
                queue(session, Piece{PieceKind::data, std::string(prompt_text), 0});
        } else {
            if (!session.silent)
                queue(session, Piece{PieceKind::data, std::string(unknown_command_text), 0});
        }
    }

    // The client's bytes without its telnet commands (IAC and what belongs to it) and without
    // telnet's NUL padding; IAC IAC is one 255 byte.
    static std::string telnet_text(Session& session, const char* bytes, std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            const auto c = static_cast<unsigned char>(bytes[i]);
            switch (session.telnet) {
                case TelnetInput::text:
                    if (c == telnet_iac) {
                        session.telnet = TelnetInput::command;
                    } else if (c != 0) {
                        text.push_back(static_cast<char>(c));
                    }
                    break;
                case TelnetInput::command:
                    if (c == telnet_iac) {
                        text.push_back(static_cast<char>(c));
                        session.telnet = TelnetInput::text;
                    } else if (c >= telnet_will && c <= telnet_dont) {
                        session.telnet = TelnetInput::option;
                    } else {
                        session.telnet =
                            c == telnet_sb ? TelnetInput::subnegotiation : TelnetInput::text;
                    }
                    break;
                case TelnetInput::option:
                    session.telnet = TelnetInput::text;
                    break;
                case TelnetInput::subnegotiation:
                    if (c == telnet_iac) session.telnet = TelnetInput::subnegotiation_command;
                    break;
                case TelnetInput::subnegotiation_command:
                    session.telnet =
                        c == telnet_se ? TelnetInput::text : TelnetInput::subnegotiation;
                    break;
            }
        }
        return text;
    }

    // Lines end with "\r", "\n" or "\r\n".
    void take_input(Session& session, const char* received, std::size_t received_count) {
        session.input_since_piece = true;
        update_record(session,
                      [&](SessionRecord& r) { r.received.append(received, received_count); });
        std::string text;
        const char* bytes = received;
        std::size_t count = received_count;
        if (options.family != SimFamily::classic) {
            text = telnet_text(session, received, received_count);
            bytes = text.data();
            count = text.size();
        }
        for (std::size_t i = 0; i < count; ++i) {
            const char c = bytes[i];
            if (session.skip_line_feed && c == '\n') {
                session.skip_line_feed = false;
                continue;
            }
            session.skip_line_feed = c == '\r';
            if (c == '\r' || c == '\n') {
                std::string line;
                line.swap(session.line);
                answer_line(session, line);
            } else {
                session.line.push_back(c);
            }
        }
    }

    // Closes the connection, with a reset (RST) instead of an orderly close when `reset`.
    void end_session(Session& session, std::string_view how, bool reset = false) {
        if (session.fd == no_sim_socket) return;
        if (reset) {
            reset_sim_socket(session.fd);
        } else {
            close_sim_socket(session.fd);
        }
        session.fd = no_sim_socket;
        log(session, how);
        update_record(session, [](SessionRecord& r) { r.ended = true; });
    }

    // Sends what is due of the session's queue.
    void flush(Session& session) {
        session.wants_writable = false;
        while (session.fd != no_sim_socket && !session.pieces.empty()) {
            Piece& head = session.pieces.front();
            if (!head.continuing) {
                if (Clock::now() < session.head_since + std::chrono::milliseconds(head.wait_ms))
                    return;
                if (options.lockstep && head.kind == PieceKind::data && !head.unpaced &&
                    session.sent_any && !session.input_since_piece) {
                    return;
                }
            }
            if (head.kind == PieceKind::close) {
                end_session(session, "closed");
                return;
            }
            if (head.kind == PieceKind::reset) {
                end_session(session, "reset", true);
                return;
            }
            const std::int64_t count = send_some(session.fd, head.bytes.data(), head.bytes.size());
            if (count == would_block) {
                session.wants_writable = true;
                return;
            }
            if (count < 0) {
                end_session(session, "closed after a failed send");
                return;
            }
            const std::size_t sent = static_cast<std::size_t>(count);
            update_record(session, [&](SessionRecord& r) { r.sent.append(head.bytes, 0, sent); });
            if (sent < head.bytes.size()) {
                head.bytes.erase(0, sent);
                head.continuing = true;
                session.wants_writable = true;
                return;
            }
            const bool paced = !head.unpaced;
            session.pieces.pop_front();
            if (paced) {
                session.sent_any = true;
                session.input_since_piece = false;
            }
            session.head_since = Clock::now();
        }
    }

    // Milliseconds until the earliest piece that only waits for its time, or -1.
    int next_timeout_ms() const {
        int timeout = -1;
        const Clock::time_point now = Clock::now();
        for (const Session& session : sessions) {
            if (session.fd == no_sim_socket || session.pieces.empty() || session.wants_writable)
                continue;
            const Piece& head = session.pieces.front();
            const auto due = session.head_since + std::chrono::milliseconds(head.wait_ms);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
            if (left <= 0) continue;  // then it waits for input only
            if (timeout < 0 || left < timeout)
                timeout = static_cast<int>(std::min<long long>(left, 60000));
        }
        return timeout;
    }

    void accept_session() {
        const SimSocket fd = accept_connection(listen_fd, true);
        if (fd == no_sim_socket) return;
        Session session;
        session.fd = fd;
        {
            std::lock_guard lock(mutex);
            records.push_back(SessionRecord{});
            session.number = static_cast<int>(records.size());
            records.back().number = session.number;
        }
        changed.notify_all();
        log(session, "connected");
        if (parks(session.number)) {
            session.parked = true;
        } else {
            greet(session);
        }
        sessions.push_back(std::move(session));
    }

    void read_session(Session& session) {
        char bytes[receive_chunk_bytes];
        const std::int64_t count = receive_some(session.fd, bytes, sizeof bytes);
        if (count > 0) {
            take_input(session, bytes, static_cast<std::size_t>(count));
        } else if (count == 0) {
            end_session(session, "closed by the client");
        } else if (count != would_block) {
            end_session(session, "connection lost");
        }
    }

    void serve() {
        while (!stopping.load()) {
            for (Session& session : sessions) {
                if (session.parked && session.fd != no_sim_socket && !parks(session.number))
                    greet(session);
                flush(session);
            }
            std::erase_if(sessions, [](const Session& s) { return s.fd == no_sim_socket; });

            std::vector<SimPollEntry> watched{{listen_fd, true, false}, {wake_fd, true, false}};
            for (const Session& session : sessions)
                watched.push_back({session.fd, true, session.wants_writable});
            if (poll_sockets(watched, next_timeout_ms()) < 0) break;
            if (watched[1].readable) {
                char drained[64];
                while (receive_some(wake_fd, drained, sizeof drained) > 0) {
                }
            }
            // Sessions accepted below are not in `watched` yet: only the older ones are read.
            const std::size_t polled = watched.size() - 2;
            if (watched[0].readable) accept_session();
            for (std::size_t i = 0; i < polled; ++i) {
                if (watched[i + 2].readable) read_session(sessions[i]);
            }
        }
        for (Session& session : sessions) end_session(session, "closed at the simulator's stop");
        sessions.clear();
    }

    void wake() {
        const char one = 1;
        (void)send_some(wake_send_fd, &one, 1);
    }

    // Connects the wake-up pair through the listener before any client can be served.
    bool connect_wake_pair() {
        // A listener on every address is reached on loopback.
        const std::string target = options.address == "0.0.0.0" ? "127.0.0.1" : options.address;
        wake_send_fd = start_connect(target, port);
        if (wake_send_fd == no_sim_socket) return false;
        for (int attempt = 0; attempt < 2 && wake_fd == no_sim_socket; ++attempt) {
            std::vector<SimPollEntry> listener{{listen_fd, true, false}};
            if (poll_sockets(listener, 5000) <= 0) return false;
            wake_fd = accept_connection(listen_fd, true);
        }
        return wake_fd != no_sim_socket;
    }

    void close_sockets() {
        for (SimSocket* fd : {&listen_fd, &wake_send_fd, &wake_fd}) {
            close_sim_socket(*fd);
            *fd = no_sim_socket;
        }
    }
};

RouterSim::RouterSim(RouterSimOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

RouterSim::~RouterSim() {
    stop();
}

bool RouterSim::start() {
    Impl& sim = *impl_;
    if (sim.thread.joinable()) return true;
    auto fail = [&sim](std::string why) {
        sim.close_sockets();
        std::lock_guard lock(sim.mutex);
        sim.error = std::move(why);
        return false;
    };
    std::string error;
    sim.listen_fd =
        open_listener(sim.options.address, sim.options.port, listen_backlog, true, error);
    if (sim.listen_fd == no_sim_socket) return fail(error);
    {
        std::lock_guard lock(sim.mutex);
        sim.port = local_port(sim.listen_fd);
    }
    if (!sim.connect_wake_pair()) return fail("cannot connect the simulator's wake-up pair");
    sim.stopping = false;
    try {
        sim.thread = std::thread([&sim] { sim.serve(); });
    } catch (...) {
        return fail("cannot start the simulator's thread");
    }
    return true;
}

void RouterSim::stop() {
    Impl& sim = *impl_;
    if (!sim.thread.joinable()) return;
    sim.stopping = true;
    sim.wake();
    sim.thread.join();
    sim.close_sockets();
}

std::uint16_t RouterSim::port() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->port;
}

std::string RouterSim::error() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->error;
}

std::vector<SessionRecord> RouterSim::sessions() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->records;
}

int RouterSim::collections() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->collections;
}

bool RouterSim::wait_for_sessions_started(int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(
        lock, timeout, [&] { return static_cast<int>(impl_->records.size()) >= count; });
}

bool RouterSim::wait_for_sessions_ended(int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] {
        return std::count_if(impl_->records.begin(), impl_->records.end(),
                             [](const SessionRecord& r) { return r.ended; }) >= count;
    });
}

void RouterSim::set_park_from_session(int session) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->park_from_session = session;
    }
    if (impl_->wake_fd != no_sim_socket) impl_->wake();
}

std::optional<SimFamily> sim_family_named(std::string_view name) {
    if (name == "classic") return SimFamily::classic;
    if (name == "broadcom") return SimFamily::broadcom;
    if (name == "draytek") return SimFamily::draytek;
    return std::nullopt;
}

std::optional<ReplyPoint> reply_point_named(std::string_view name) {
    if (name == "greeting") return ReplyPoint::greeting;
    if (name == "login") return ReplyPoint::login;
    if (name == "status") return ReplyPoint::status;
    if (name == "bins") return ReplyPoint::bins;
    return std::nullopt;
}
