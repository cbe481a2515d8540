// The simulated router itself, as far as the worker tests rely on it: its line endings and its
// password check.
#include "tools/router_sim.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "loopback.h"

namespace {

loopback::Socket connect_to(const RouterSim& sim) {
    loopback::Socket client;
    EXPECT_TRUE(loopback::connect_within(client, sim.port(), 5000));
    return client;
}

TEST(RouterSim, AcceptsLinesEndedByCrLfOrCrLfAndChecksThePassword) {
    for (const std::string end : {"\r", "\n", "\r\n"}) {
        RouterSim sim;
        ASSERT_TRUE(sim.start()) << sim.error();
        loopback::Socket client = connect_to(sim);
        client.read_until(':');  // "Password:"
        client.send_all("wrong" + end);
        client.send_all("secret" + end + "show adsl" + end + "exit" + end);
        ASSERT_TRUE(sim.wait_for_sessions_ended(1));
        const SessionRecord session = sim.sessions().at(0);
        EXPECT_TRUE(session.logged_in);
        EXPECT_TRUE(session.completed);
        EXPECT_EQ(sim.collections(), 1);
        EXPECT_NE(session.sent.find("Login incorrect"), std::string::npos);
        EXPECT_EQ(session.sent.find("Unknown command"), std::string::npos)
            << "an empty line crept in";
    }
}

// The local addresses (as /proc/net/tcp and tcp6 print them) of every listening socket on port.
std::vector<std::string> listening_addresses(std::uint16_t port) {
    std::vector<std::string> addresses;
    for (const char* table_name : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream table(table_name);
        std::string line;
        std::getline(table, line);  // heading
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            const std::size_t colon = local.rfind(':');
            if (state == "0A" && colon != std::string::npos &&
                std::stoul(local.substr(colon + 1), nullptr, 16) == port) {
                addresses.push_back(local.substr(0, colon));
            }
        }
    }
    return addresses;
}

TEST(RouterSim, ListensOnLoopbackOnlyUnlessToldOtherwise) {
    RouterSim sim;
    ASSERT_TRUE(sim.start()) << sim.error();
    if (!std::ifstream("/proc/net/tcp"))
        GTEST_SKIP() << "no /proc/net/tcp to list the listeners in";
    EXPECT_EQ(listening_addresses(sim.port()), std::vector<std::string>{"0100007F"})
        << "127.0.0.1 alone";
}

}  // namespace
