// The router connection over real loopback TCP: what is refused before any traffic, the port's low
// bits, reads bounded by their capacity, a closed router told from a silent one, and sends to a
// router that has gone.
#include "collect/network.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "loopback.h"

namespace {

using loopback::Listener;
using loopback::Socket;

// A client connection and the listener's end of it.
struct ConnectedPair {
    Listener listener;
    Connection* client = nullptr;
    Socket router;

    ConnectedPair() {
        client = open_connection("127.0.0.1", listener.port());
        if (client != nullptr) router = listener.accept_one();
    }
    ~ConnectedPair() { close_connection(client); }
    ConnectedPair(const ConnectedPair&) = delete;
    ConnectedPair& operator=(const ConnectedPair&) = delete;
};

// Loopback delivery is immediate in practice; this only guards against a slow scheduler, looking
// again each millisecond.
bool wait_for_event(Connection* connection, int wanted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (connection_event(connection) != wanted) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(HostNameCheck, OnlyPlausibleNamesReachTheResolver) {
    struct Case {
        const char* text;
        bool plausible;
    };
    const Case cases[] = {
        {"localhost", true},
        {"router.home", true},
        {"my-router.lan", true},
        {"r2d2", true},
        {"a b", false},
        {"999.1.1.1", false},
        {"1.2.3", false},
        {"", false},
        {"-router.lan", false},
        {"router-.lan", false},
        {"a..b", false},
        {"host.", false},
        {"x_y", false},
        {"ex@mple", false},
        {"0x7g.1", false},
        {"router\n", false},
        {"255.255.255.255", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(looks_like_host_name(c.text), c.plausible) << '"' << c.text << '"';
    EXPECT_FALSE(looks_like_host_name(std::string(64, 'a') + ".lan")) << "a label of 64 characters";
}

TEST(OpenConnection, UnusableAddressOrPortGivesNoConnection) {
    Listener listener;
    const struct {
        const char* address;
        std::int32_t port;
    } cases[] = {
        {"", listener.port()},
        {"a b", listener.port()},
        {"999.1.1.1", listener.port()},
        {"255.255.255.255", listener.port()},
        {"0.0.0.0", listener.port()},  // would reach the listener on this machine
        {"0.1.2.3", listener.port()},
        {"0", listener.port()},
        {"127.0.0.1", 0},
        {"127.0.0.1", 65536},
        {"127.0.0.1", loopback::unused_port()},
    };
    for (const auto& c : cases) {
        Connection* connection = open_connection(c.address, c.port);
        EXPECT_EQ(connection, nullptr) << c.address << " port " << c.port;
        close_connection(connection);
    }
}

TEST(OpenConnection, PortAbove65535UsesItsLowSixteenBits) {
    Listener listener;
    Connection* connection = open_connection("127.0.0.1", listener.port() + 65536 * 3);
    ASSERT_NE(connection, nullptr);
    EXPECT_GE(listener.accept_one().fd(), 0);
    close_connection(connection);
}

TEST(OpenConnection, DottedFormsOfInetAddrAreAccepted) {
    Listener listener;
    for (const char* address : {"127.0.0.1", "127.1", "0x7f.0.0.1", "localhost"}) {
        Connection* connection = open_connection(address, listener.port());
        EXPECT_NE(connection, nullptr) << address;
        close_connection(connection);
        listener.accept_one();
    }
}

TEST(ReceiveBytes, ReadsNoMoreThanItsCapacityAndLeavesTheRest) {
    ConnectedPair pair;
    ASSERT_NE(pair.client, nullptr);
    EXPECT_EQ(connection_event(pair.client), no_network_event);
    pair.router.send_all("0123456789");
    ASSERT_TRUE(wait_for_event(pair.client, data_network_event));

    unsigned char buffer[16] = {};
    ASSERT_EQ(receive_bytes(pair.client, buffer, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "0123");
    EXPECT_EQ(connection_event(pair.client), data_network_event);
    EXPECT_EQ(receive_bytes(pair.client, buffer, sizeof buffer), 6);
    EXPECT_EQ(connection_event(pair.client), no_network_event);
}

TEST(ConnectionClosed, SilentRouterIsNotClosedButOneThatClosedOrResetIs) {
    for (bool reset : {false, true}) {
        ConnectedPair pair;
        ASSERT_NE(pair.client, nullptr);
        EXPECT_FALSE(connection_closed(pair.client)) << "silent, not closed";

        pair.router.send_all("bye");
        if (reset) {
            pair.router.reset_connection();
        } else {
            pair.router.reset();
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!connection_closed(pair.client) && std::chrono::steady_clock::now() < deadline) {
            unsigned char buffer[8];
            if (connection_event(pair.client) == data_network_event)
                receive_bytes(pair.client, buffer, sizeof buffer);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(connection_closed(pair.client)) << (reset ? "reset" : "closed");
        EXPECT_EQ(connection_event(pair.client), no_network_event);
    }
}

TEST(SendText, SendsTheBytesBeforeTheFirstZeroByte) {
    ConnectedPair pair;
    ASSERT_NE(pair.client, nullptr);
    EXPECT_EQ(send_text(pair.client, ""), 0);
    EXPECT_EQ(send_text(pair.client, std::string("ab\0cd", 5)), 2);
    EXPECT_EQ(send_text(pair.client, "#"), 1);
    EXPECT_EQ(pair.router.read_until('#'), "ab");
}

// Without MSG_NOSIGNAL the second send would kill the test program with SIGPIPE.
TEST(SendText, RouterThatHasGoneGivesMinusOneNotASignal) {
    ConnectedPair pair;
    ASSERT_NE(pair.client, nullptr);
    pair.router.reset_connection();
    std::int32_t result = 0;
    for (int attempt = 0; attempt < 100 && result >= 0; ++attempt)
        result = send_text(pair.client, "exit\r");
    EXPECT_EQ(result, -1);
}

}  // namespace
