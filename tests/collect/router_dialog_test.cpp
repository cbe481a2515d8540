// The dialog's script as bytes on the wire, state by state.
#include "collect/router_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "collect/network.h"
#include "loopback.h"
#include "settings/settings.h"

namespace {

class RouterDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_settings_to_defaults();
        settings.password = "pa ss";
        connection_ = open_connection("127.0.0.1", listener_.port());
        ASSERT_NE(connection_, nullptr);
        router_ = listener_.accept_one();
        settings.connection = connection_;
    }
    void TearDown() override {
        settings.connection = nullptr;
        close_connection(connection_);
    }

    // What the step sent: everything before a marker sent right after it.
    std::string bytes_of_one_step() {
        dialog_step();
        send_text(connection_, "#");
        return router_.read_until('#');
    }

    loopback::Listener listener_;
    loopback::Socket router_;
    Connection* connection_ = nullptr;
};

TEST_F(RouterDialog, EachStateSendsItsLineEndedByACarriageReturnOnly) {
    const struct {
        std::int32_t state;
        std::string bytes;
        std::int32_t finished;
    } script[] = {
        {1, "DSL\r", 0},
        {2, "pa ss\r", 0},
        {3, "show adsl\r", 0},
        {4, "adsl showbins\r", 0},
        {5, "exit\r", 1},
        {6, "", 0},
        {0, "", 0},
        {-1, "", 0},
        {2147483647, "", 0},
    };
    for (const auto& line : script) {
        settings.dialog_state = line.state;
        settings.dialog_finished = 0;
        EXPECT_EQ(bytes_of_one_step(), line.bytes) << "state " << line.state;
        EXPECT_EQ(settings.dialog_finished, line.finished) << "state " << line.state;
        EXPECT_EQ(settings.dialog_state,
                  static_cast<std::int32_t>(static_cast<std::uint32_t>(line.state) + 1u))
            << "the state advances for every value";
    }
}

TEST_F(RouterDialog, PasswordIsReadAtTheMomentOfSendingAndMayBeEmpty) {
    settings.dialog_state = 2;
    settings.password = "new";
    EXPECT_EQ(bytes_of_one_step(), "new\r");
    settings.dialog_state = 2;
    settings.password = "";
    EXPECT_EQ(bytes_of_one_step(), "\r");
}

}  // namespace
