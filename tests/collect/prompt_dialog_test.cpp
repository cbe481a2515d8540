// The dialog of the families answered by their prompts, against a router played byte by byte on
// loopback; the telnet filter and the refusal test on the texts routers send.
#include "collect/prompt_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "collect/network.h"
#include "collect/router_dialog.h"
#include "collect/telnet_filter.h"
#include "loopback.h"
#include "routers/broadcom.h"

namespace {

const std::string iac = "\xFF";

// The filter's text and answers when the input comes in pieces of `piece` bytes.
std::pair<std::string, std::string> filtered(const std::string& input, std::size_t piece) {
    TelnetFilter filter;
    std::string text, answers;
    for (std::size_t at = 0; at < input.size(); at += piece)
        filter_telnet(filter, std::string_view(input).substr(at, piece), text, answers);
    return {text, answers};
}

TEST(TelnetFilter, NegotiationIsRefusedOnceAndNeverReachesTheTextWhereverTheReadsSplitIt) {
    // BusyBox's telnetd at connect: WILL ECHO, WILL SGA, DO NAWS; later the same again, a
    // subnegotiation, an escaped 255, CR NUL padding and a NOP.
    const std::string input = iac + "\xFB\x01" + iac + "\xFB\x03" + iac + "\xFD\x1F" +
                              "Login: " + iac + "\xFB\x01" + iac + "\xFA\x18\x01" + iac + iac +
                              iac + "\xF0" + "a" + iac + iac + std::string("b\r\0c", 4) + iac +
                              "\xF1" + iac + "\xFC\x05" + "\r\n";
    const std::string text =
        "Login: a\xFF"
        "b\rc\r\n";
    const std::string answers = iac + "\xFE\x01" + iac + "\xFE\x03" + iac + "\xFC\x1F";
    for (const std::size_t piece : {input.size(), std::size_t{1}, std::size_t{2}, std::size_t{5}}) {
        const auto [got_text, got_answers] = filtered(input, piece);
        EXPECT_EQ(got_text, text) << "pieces of " << piece;
        EXPECT_EQ(got_answers, answers) << "pieces of " << piece;
    }
}

TEST(PromptDialogTexts, ReplyIsWhatLiesBetweenTheEchoAndThePrompt) {
    struct Case {
        std::string text, reply;
    };
    const std::vector<Case> cases = {
        {"xdslctl info --Bits\r\nTone\r\n 0\t0\r\n > ", "Tone\r\n 0\t0\r\n"},
        {"\r\nxdslctl info --Bits\nTone\n > ", "Tone\n"},  // a line end before the echo, LF
        {"Tone\r\n 0\t0\r\n > ", "Tone\r\n 0\t0\r\n"},     // no echo
        {"xdslctl info --Bits\r\n > ", ""},                // nothing to say
    };
    for (const Case& c : cases)
        EXPECT_EQ(reply_between(c.text, "xdslctl info --Bits", " > "), c.reply) << c.text;
    EXPECT_EQ(trailing_prompt("\r\nBusyBox v1.17\r\n # "), " # ");
    EXPECT_EQ(trailing_prompt("Welcome\r\nDrayTek> "), "DrayTek> ");
    EXPECT_EQ(trailing_prompt("Welcome\r\n"), "");
    EXPECT_EQ(trailing_prompt("Line 1 of a long tab"), "");
}

TEST(LoginRefusal, AnswersThatRefuseAreToldFromWelcomes) {
    const std::vector<std::pair<std::string, bool>> answers = {
        {"\r\nLogin incorrect\r\n\r\nPassword: ", true},
        {"\r\nACCESS DENIED\r\n", true},
        {"Invalid password\r\n", true},
        {"Authentication failed.\r\n> ", true},
        {"\r\nPassword:", true},
        {"\r\nrouter login: ", true},
        {"\r\nLogin successful\r\n> ", false},
        {"Last login: Mon Dec  7 10:00\r\n# ", false},
        {"\r\n> ", false},
        {"", false},
    };
    for (const auto& [answer, refused] : answers)
        EXPECT_EQ(login_refused(answer), refused) << answer;
}

class PromptDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        connection_ = open_connection("127.0.0.1", listener_.port());
        ASSERT_NE(connection_, nullptr);
        router_ = listener_.accept_one();
    }
    void TearDown() override {
        if (dialog_.joinable()) dialog_.join();
        close_connection(connection_);
    }
    void start(std::vector<std::size_t> commands, std::uint32_t silence_ms = 20000) {
        commands_ = std::move(commands);
        script_ = {&broadcom_family, commands_, "admin", "secret", silence_ms};
        dialog_ = std::thread([this] { end_ = run_prompt_dialog(connection_, script_, replies_); });
    }
    PromptDialogEnd end() {
        dialog_.join();
        return end_;
    }

    loopback::Listener listener_;
    loopback::Socket router_;
    Connection* connection_ = nullptr;
    std::vector<std::size_t> commands_;
    PromptDialogScript script_;
    std::thread dialog_;
    PromptDialogEnd end_ = PromptDialogEnd::closed;
    std::vector<std::string> replies_;
};

TEST_F(PromptDialog, LogsInAndReadsEachReplyWholeOverManyReads) {
    start({0, 1});
    router_.send_all(iac + "\xFB\x01" + iac + "\xFD\x1F" + "\r\nLogin: ");
    EXPECT_EQ(router_.read_until('\n'), iac + "\xFE\x01" + iac + "\xFC\x1F" + "admin\r");
    router_.send_all("Password: ");
    EXPECT_EQ(router_.read_until('\n'), "secret\r");
    router_.send_all("\r\n\r\nBusyBox v1.17.2 built-in shell (ash)\r\n > ");
    EXPECT_EQ(router_.read_until('\n'), "xdslctl info --stats\r");
    router_.send_all("xdslctl info --stats\r\nStatus: Showtime\r\n > ");
    EXPECT_EQ(router_.read_until('\n'), "xdslctl info --Bits\r");
    // A 4096-tone table in pieces, one of them ending with what the prompt ends with.
    std::string table = "Tone number      Bit Allocation\r\n";
    for (int tone = 0; tone < 4096; ++tone) table += "   " + std::to_string(tone) + "\t\t7\r\n";
    router_.send_all("xdslctl info --Bits\r\n" + table.substr(0, 30000));
    router_.send_all(table.substr(30000) + "x > \r\n > ");
    EXPECT_EQ(router_.read_until('\n'), "exit\r");
    ASSERT_EQ(end(), PromptDialogEnd::done);
    ASSERT_EQ(replies_.size(), 2u);
    EXPECT_EQ(replies_[0], "Status: Showtime\r\n");
    EXPECT_EQ(replies_[1], table + "x > \r\n");
}

TEST_F(PromptDialog, SecondLoginPromptEndsItRefusedBeforeAnyCommand) {
    start({0});
    router_.send_all("Login: ");
    router_.read_until('\n');
    router_.send_all("Password: ");
    router_.read_until('\n');
    router_.send_all("\r\nLogin incorrect\r\nLogin: ");
    EXPECT_EQ(end(), PromptDialogEnd::refused);
    EXPECT_TRUE(replies_.empty());
}

TEST_F(PromptDialog, RouterThatPrintsWithoutEndOrFallsSilentEndsItAsSilent) {
    start({0}, 300);
    router_.send_all("Login: ");
    router_.read_until('\n');
    router_.send_all("Password: ");
    router_.read_until('\n');
    router_.send_all("\r\n# ");
    router_.read_until('\n');
    const std::string mebibyte(1024 * 1024, 'x');
    for (int i = 0; i < 5 && end_ != PromptDialogEnd::silent; ++i) router_.send_all(mebibyte);
    EXPECT_EQ(end(), PromptDialogEnd::silent);
}

}  // namespace
