// The simulator's broadcom and draytek families as a raw client meets them, and the line they
// report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loopback.h"
#include "tools/broadcom_replies.h"
#include "tools/draytek_replies.h"
#include "tools/line_model.h"
#include "tools/router_sim.h"

namespace {

// A client that reads until a text has come, as a person at a terminal would wait for it.
class Dialog {
  public:
    explicit Dialog(const RouterSim& sim) {
        EXPECT_TRUE(loopback::connect_within(client_, sim.port(), 5000));
    }
    // Everything up to and including the first `marker`, or all that came before a close or a
    // silence of a few seconds.
    std::string read_through(const std::string& marker) {
        for (;;) {
            if (const std::size_t at = pending_.find(marker); at != std::string::npos) {
                std::string text = pending_.substr(0, at + marker.size());
                pending_.erase(0, at + marker.size());
                return text;
            }
            if (!loopback::ready_within(client_.fd(), false, 5000)) break;
            char bytes[65536];
            const std::int64_t count = receive_some(client_.fd(), bytes, sizeof bytes);
            if (count == would_block) continue;
            if (count <= 0) break;
            pending_.append(bytes, static_cast<std::size_t>(count));
        }
        std::string text;
        text.swap(pending_);
        return text;
    }
    void send(const std::string& bytes) { client_.send_all(bytes); }

  private:
    loopback::Socket client_;
    std::string pending_;
};

RouterSimOptions family_options(SimFamily family, LineKind kind = LineKind::vdsl17a) {
    RouterSimOptions options;
    options.family = family;
    options.line.kind = kind;
    return options;
}

const std::string telnet_refusals = "\xff\xfe\x01\xff\xfc\x1f\xff\xfe\x03";

TEST(RouterSimFamilies, EachFamilyLogsInEchoesEveryCommandAndAnswersItBeforeItsPrompt) {
    struct Case {
        SimFamily family;
        LineKind kind;
        std::string user_prompt, prompt, status, bins;
        std::size_t bins_min_bytes, bins_max_bytes;
    };
    const Case cases[] = {
        {SimFamily::broadcom, LineKind::vdsl17a, "Login: ", "\r\n > ", "xdslctl info --stats",
         "xdslctl info --Bits", 45000, 70000},
        {SimFamily::broadcom, LineKind::adsl2plus, "Login: ", "\r\n > ", "xdslctl info --stats",
         "xdslctl info --SNR", 6000, 12000},
        {SimFamily::draytek, LineKind::vdsl17a, "Account:", "\r\nDrayTek> ", "vdsl status",
         "vdsl showbins", 80000, 120000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status + " / " + c.bins);
        const RouterSimOptions options = family_options(c.family, c.kind);
        RouterSim sim(options);
        ASSERT_TRUE(sim.start()) << sim.error();
        Dialog dialog(sim);
        const std::string greeting = dialog.read_through(c.user_prompt);
        const bool broadcom = c.family == SimFamily::broadcom;
        EXPECT_EQ(greeting.starts_with("\xff\xfd\x01"), broadcom) << "the telnet negotiation";
        // The client's refusals come with the user name and must not become part of it.
        dialog.send((broadcom ? telnet_refusals : "") + "admin\r\n");
        EXPECT_EQ(dialog.read_through("Password: "), "admin\r\nPassword: ");
        dialog.send("secret\r");
        EXPECT_NE(dialog.read_through(c.prompt), "") << "the prompt after the banner";

        dialog.send(c.status + "\n");
        const std::string status = dialog.read_through(c.prompt);
        EXPECT_TRUE(status.starts_with(c.status + "\r\n")) << "the echo";
        const LineCollection line = line_collection(options.line, 0);
        const std::string rates =
            broadcom
                ? "Bearer:\t0, Upstream rate = " + std::to_string(line.rate_kbps.up) +
                      " Kbps, Downstream rate = " + std::to_string(line.rate_kbps.down) +
                      " Kbps\r\n"
                : "DS Actual Rate          : " + std::to_string(line.rate_kbps.down) + "000 bps";
        EXPECT_NE(status.find(rates), std::string::npos) << status;

        dialog.send(c.bins + "\r\n");
        const std::string bins = dialog.read_through(c.prompt);
        EXPECT_GE(bins.size(), c.bins_min_bytes);
        EXPECT_LE(bins.size(), c.bins_max_bytes);
        EXPECT_TRUE(bins.starts_with(c.bins + "\r\n"));
        const std::string last_tone =
            broadcom ? "\r\n   " + std::to_string(tone_count(c.kind) - 1) + "\t\t"
                     : " *  " + std::to_string(tone_count(c.kind) - 1) + " ";
        EXPECT_NE(bins.find(last_tone), std::string::npos) << "every tone is in the table";

        dialog.send("nonsense\r\n\r\nexit\r\n");
        EXPECT_NE(dialog.read_through(c.prompt), "") << "an unknown command gets the prompt";
        dialog.read_through("never sent");  // to the close that follows "exit"
        ASSERT_TRUE(sim.wait_for_sessions_ended(1));
        const SessionRecord record = sim.sessions().at(0);
        EXPECT_TRUE(record.logged_in);
        EXPECT_TRUE(record.completed);
        EXPECT_EQ(sim.collections(), 1);
    }
}

TEST(RouterSimFamilies, RefusedLoginAsksAgainAndNeverLogsIn) {
    struct Case {
        SimFamily family;
        bool refuse_logins;
        std::string password, user_prompt, answer;
    };
    const Case cases[] = {
        {SimFamily::broadcom, false, "wrong", "Login: ", "\r\nLogin incorrect\r\nLogin: "},
        {SimFamily::broadcom, true, "secret", "Login: ", "\r\nLogin incorrect\r\nLogin: "},
        {SimFamily::draytek, true, "secret", "Account:", "\r\nPassword: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        RouterSimOptions options = family_options(c.family);
        options.refuse_logins = c.refuse_logins;
        RouterSim sim(options);
        ASSERT_TRUE(sim.start()) << sim.error();
        Dialog dialog(sim);
        dialog.read_through(c.user_prompt);
        dialog.send("admin\r\n");
        dialog.read_through("Password: ");
        dialog.send(c.password + "\r\n");
        EXPECT_EQ(dialog.read_through(c.answer), c.answer);
        EXPECT_EQ(sim.sessions().at(0).replies[static_cast<std::size_t>(ReplyPoint::login)],
                  c.answer);
        EXPECT_FALSE(sim.sessions().at(0).logged_in);
    }
}

TEST(RouterSimFamilies, DownLineReportsNoRatesAndAnEmptyTable) {
    for (const SimFamily family : {SimFamily::broadcom, SimFamily::draytek}) {
        RouterSimOptions options = family_options(family);
        options.line.down = true;
        RouterSim sim(options);
        ASSERT_TRUE(sim.start()) << sim.error();
        Dialog dialog(sim);
        const bool broadcom = family == SimFamily::broadcom;
        const std::string prompt = broadcom ? "\r\n > " : "\r\nDrayTek> ";
        dialog.read_through(broadcom ? "Login: " : "Account:");
        dialog.send("admin\r\nsecret\r\n");
        dialog.read_through(prompt);
        dialog.send(broadcom ? "xdslctl info --stats\r\n" : "vdsl status\r\n");
        const std::string status = dialog.read_through(prompt);
        dialog.send(broadcom ? "xdslctl info --Bits\r\n" : "vdsl showbins\r\n");
        const std::string bins = dialog.read_through(prompt);
        if (broadcom) {
            EXPECT_NE(status.find("Status: Idle\r\n"), std::string::npos);
            EXPECT_EQ(status.find("Bearer:"), std::string::npos);
            EXPECT_TRUE(bins.ends_with("\r\nTone number      Bit Allocation" + prompt)) << bins;
        } else {
            EXPECT_NE(status.find("State                : TRAINING"), std::string::npos);
            EXPECT_NE(status.find("DS Actual Rate          :        0 bps"), std::string::npos);
            EXPECT_TRUE(bins.ends_with("Bits" + prompt)) << "the headings without a cell";
        }
    }
}

TEST(RouterSimFamilies, FaultsShapeTheNewFamiliesReplyPoints) {
    {  // the login prompt a byte a piece: the negotiation before it is whole, the login works
        RouterSimOptions options = family_options(SimFamily::broadcom);
        options.faults[static_cast<std::size_t>(ReplyPoint::greeting)].chunk_bytes = 1;
        RouterSim sim(options);
        ASSERT_TRUE(sim.start()) << sim.error();
        Dialog dialog(sim);
        EXPECT_TRUE(dialog.read_through("Login: ").ends_with("Router\r\nLogin: "));
        dialog.send("admin\r\nsecret\r\n");
        EXPECT_TRUE(dialog.read_through(" > ").ends_with("\r\n > "));
    }
    {  // the status closes the connection after the echo
        RouterSimOptions options = family_options(SimFamily::draytek);
        options.faults[static_cast<std::size_t>(ReplyPoint::status)].action = ReplyAction::close;
        RouterSim sim(options);
        ASSERT_TRUE(sim.start()) << sim.error();
        Dialog dialog(sim);
        dialog.read_through("Account:");
        dialog.send("admin\r\nsecret\r\nvdsl status\r\n");
        dialog.read_through("DrayTek> ");
        EXPECT_EQ(dialog.read_through("never sent"), "vdsl status\r\n");
        EXPECT_TRUE(sim.wait_for_sessions_ended(1));
    }
}

// The difference in bits between two tables of one training: how many tones changed, and
// whether the total stayed.
std::pair<int, bool> bitswap_between(const LineCollection& a, const LineCollection& b) {
    int changed = 0;
    int total_a = 0;
    int total_b = 0;
    for (std::size_t tone = 0; tone < a.bits.size(); ++tone) {
        changed += a.bits[tone] != b.bits[tone];
        total_a += a.bits[tone];
        total_b += b.bits[tone];
    }
    return {changed, total_a == total_b};
}

TEST(LineModel, CountersGrowWithinATrainingAndFallAtARetrainWithNewRates) {
    for (const LineKind kind : {LineKind::vdsl17a, LineKind::adsl2plus}) {
        const LineModelOptions options{kind, false, 7};
        LineCollection before = line_collection(options, 0);
        ASSERT_EQ(before.bits.size(), static_cast<std::size_t>(tone_count(kind)));
        int n = 1;
        for (; n < 200; ++n) {
            const LineCollection now = line_collection(options, n);
            EXPECT_GE(now.total_counts.fec.down, before.total_counts.fec.down) << n;
            EXPECT_GE(now.total_counts.uas.down, before.total_counts.uas.down) << n;
            if (now.retrained) {
                EXPECT_LT(now.counts.fec.down, before.counts.fec.down) << n;
                EXPECT_LT(now.link_seconds, before.link_seconds) << n;
                EXPECT_NE(now.attainable_kbps.down, before.attainable_kbps.down) << n;
                EXPECT_EQ(now.train, before.train + 1);
                break;
            }
            EXPECT_GT(now.counts.fec.down, before.counts.fec.down) << n;
            EXPECT_GE(now.counts.crc.down, before.counts.crc.down) << n;
            EXPECT_EQ(now.rate_kbps.down, before.rate_kbps.down) << n;
            const auto [changed, same_total] = bitswap_between(before, now);
            EXPECT_TRUE(changed > 0 && changed <= 12 && same_total) << n << ": " << changed;
            before = now;
        }
        EXPECT_LT(n, 200) << "no retrain";
        EXPECT_EQ(line_collection(options, 5).counts.fec.down,
                  line_collection(options, 5).counts.fec.down)
            << "the same options and collection give the same figures";
    }
}

TEST(LineModel, DownLineHasNoRatesNorTablesAndOnlyUnavailableSecondsGrow) {
    const LineModelOptions options{LineKind::vdsl17a, true, 1};
    const LineCollection first = line_collection(options, 0);
    const LineCollection next = line_collection(options, 1);
    EXPECT_FALSE(first.showtime);
    EXPECT_EQ(first.rate_kbps.down, 0);
    EXPECT_TRUE(first.bits.empty());
    EXPECT_EQ(next.counts.uas.down, first.counts.uas.down + 60);
    EXPECT_EQ(next.counts.fec.down, 0u);
}

}  // namespace
