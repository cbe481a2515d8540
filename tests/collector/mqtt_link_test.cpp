// The MQTT link against Debian's real broker on a loopback port: what Home Assistant finds on the
// broker, a broker that goes away and comes back, and its user names and passwords. A subscriber
// of the test's own (libmosquitto) reads what arrives. POSIX only: the broker is.
#include "collector/mqtt_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
constexpr auto wait_limit = 15s;
constexpr const char* broker_program = "/usr/sbin/mosquitto";

// Lines that another thread adds, and waits for them.
class Lines {
  public:
    void add(std::string line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
        changed_.notify_all();
    }
    bool wait_for(const std::function<bool(const std::vector<std::string>&)>& done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, wait_limit, [&] { return done(lines_); });
    }
    bool wait_for_text(const std::string& text) {
        return wait_for([&](const std::vector<std::string>& lines) {
            for (const std::string& line : lines) {
                if (line.find(text) != std::string::npos) return true;
            }
            return false;
        });
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }
    std::vector<std::string> all() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

// The broker, its log lines read as it writes them.
class Broker {
  public:
    explicit Broker(const std::string& config) {
        int pipe_ends[2];
        if (pipe2(pipe_ends, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 2);
        std::vector<std::string> words = {broker_program, "-c", config};
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, broker_program, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipe_ends[1]);
        reader_ = std::thread([this, fd = pipe_ends[0]] {
            std::string pending;
            char bytes[512];
            for (ssize_t n; (n = read(fd, bytes, sizeof bytes)) > 0;) {
                pending.append(bytes, static_cast<std::size_t>(n));
                for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                    log.add(pending.substr(0, end));
                    pending.erase(0, end + 1);
                }
            }
            close(fd);
        });
    }
    ~Broker() { end(); }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    bool ready() { return pid_ > 0 && log.wait_for_text("running"); }
    void end() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (reader_.joinable()) reader_.join();
    }

    Lines log;

  private:
    pid_t pid_ = -1;
    std::thread reader_;
};

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// A subscriber to every topic.
class Watcher {
  public:
    Watcher(int port, const char* user = nullptr, const char* password = nullptr) {
        mosquitto_lib_init();
        client_ = mosquitto_new(nullptr, true, this);
        mosquitto_username_pw_set(client_, user, password);
        mosquitto_connect_callback_set(client_, [](mosquitto* client, void*, int code) {
            if (code == 0) mosquitto_subscribe(client, nullptr, "#", 1);
        });
        mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Watcher*>(self)->acknowledged_.add("subscribed");
        });
        mosquitto_message_callback_set(client_, [](mosquitto*, void* self,
                                                   const mosquitto_message* message) {
            auto& watcher = *static_cast<Watcher*>(self);
            std::lock_guard lock(watcher.mutex_);
            watcher.messages_.push_back({message->topic,
                                         std::string(static_cast<const char*>(message->payload),
                                                     static_cast<std::size_t>(message->payloadlen)),
                                         message->retain});
            watcher.arrived_.notify_all();
        });
        mosquitto_connect(client_, "127.0.0.1", port, 60);
        mosquitto_loop_start(client_);
    }
    ~Watcher() {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    bool subscribed() { return acknowledged_.wait_for_text("subscribed"); }

    // Every message so far once one has arrived that `last` accepts; empty after the time limit.
    std::vector<Message> until(const std::function<bool(const Message&)>& last) {
        std::unique_lock lock(mutex_);
        const bool arrived = arrived_.wait_for(lock, wait_limit, [&] {
            for (const Message& message : messages_) {
                if (last(message)) return true;
            }
            return false;
        });
        return arrived ? messages_ : std::vector<Message>{};
    }
    std::vector<Message> until_topic(const std::string& topic, const std::string& payload = "") {
        return until([&](const Message& message) {
            return message.topic == topic && (payload.empty() || message.payload == payload);
        });
    }
    // Every retained message the broker holds: they come before a marker sent after subscribing.
    std::vector<Message> retained() {
        mosquitto_publish(client_, nullptr, "test/marker", 1, "m", 0, false);
        std::vector<Message> messages = until_topic("test/marker");
        std::erase_if(messages, [](const Message& message) { return !message.retained; });
        return messages;
    }

  private:
    mosquitto* client_ = nullptr;
    Lines acknowledged_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Message> messages_;
};

// What the links say; a line that says the broker is reached again waits until the test lets it
// go on (the link says it before it sends anything on the new connection).
Lines said;
std::mutex gate_mutex;
std::condition_variable gate_opened;
bool gate_open = true;

void say(std::string_view line) {
    said.add(std::string(line));
    if (line.find("reached again") == std::string_view::npos) return;
    std::unique_lock lock(gate_mutex);
    gate_opened.wait_for(lock, wait_limit, [] { return gate_open; });
}

void set_gate(bool open) {
    std::lock_guard lock(gate_mutex);
    gate_open = open;
    gate_opened.notify_all();
}

int free_port() {
    const int socket_fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(socket_fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(socket_fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(socket_fd);
    return ntohs(address.sin_port);
}

LineSnapshot snapshot_with_rate(double rate_kbits) {
    LineSnapshot snapshot;
    snapshot.family = "broadcom";
    snapshot.address = "127.0.0.1";
    snapshot.collected = true;
    snapshot.state = "Showtime";
    snapshot.rate_kbits.down = rate_kbits;
    return snapshot;
}

class MqttLinkTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(broker_program))
            GTEST_SKIP() << broker_program << " is missing (Debian's package mosquitto)";
        folder_ = std::filesystem::temp_directory_path() /
                  ("kelva-mqtt-" + std::to_string(getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        port_ = free_port();
        set_gate(true);
        said.clear();
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    // A broker config for port_, anonymous or with one user's password.
    std::string config(bool with_password) {
        const std::string path = (folder_ / "broker.conf").string();
        std::ofstream out(path);
        out << "listener " << port_ << " 127.0.0.1\npersistence false\nlog_dest stderr\n";
        if (with_password) {
            const std::string passwords = (folder_ / "passwords").string();
            const std::string command =
                "mosquitto_passwd -b -c " + passwords + " kelva right-password >/dev/null";
            EXPECT_EQ(std::system(command.c_str()), 0);
            out << "allow_anonymous false\npassword_file " << passwords << "\n";
        } else {
            out << "allow_anonymous true\n";
        }
        return path;
    }

    MqttSettings settings(const std::string& id) {
        MqttSettings settings;
        settings.url = "mqtt://127.0.0.1:" + std::to_string(port_);
        EXPECT_EQ(read_mqtt_url(settings.url, settings.address), "");
        settings.topics = {id, "homeassistant"};
        return settings;
    }

    std::filesystem::path folder_;
    int port_ = 0;
};

}  // namespace

TEST_F(MqttLinkTest, HomeAssistantFindsRetainedSensorsAndOnlineAndGetsTheState) {
    Broker broker(config(false));
    ASSERT_TRUE(broker.ready()) << testing::PrintToString(broker.log.all());
    Watcher watcher(port_);
    ASSERT_TRUE(watcher.subscribed());

    MqttLink link;
    const MqttSettings link_settings = settings("test");
    ASSERT_EQ(link.start(link_settings, say), "");
    const LineSnapshot snapshot = snapshot_with_rate(16384);
    link.publish(snapshot);
    const std::vector<Message> live = watcher.until_topic("kelvastats/test/state");
    ASSERT_FALSE(live.empty()) << "no state message";
    EXPECT_EQ(live.back().payload, state_json(snapshot));
    // online first, then every sensor, then the state.
    const std::vector<MqttMessage> discovery = discovery_messages(link_settings.topics, snapshot);
    ASSERT_EQ(live.size(), discovery.size() + 2);
    EXPECT_EQ(live.front().topic, "kelvastats/test/availability");
    EXPECT_EQ(live.front().payload, "online");

    // What a Home Assistant that starts later finds: online and the sensors, not the state.
    Watcher later(port_);
    ASSERT_TRUE(later.subscribed());
    std::map<std::string, std::string> retained;
    for (const Message& message : later.retained()) retained[message.topic] = message.payload;
    std::map<std::string, std::string> expected = {{"kelvastats/test/availability", "online"}};
    for (const MqttMessage& message : discovery) expected[message.topic] = message.payload;
    EXPECT_EQ(retained, expected);

    link.stop();
    EXPECT_FALSE(watcher.until_topic("kelvastats/test/availability", "offline").empty());
    EXPECT_TRUE(said.all().empty());
}

TEST_F(MqttLinkTest, BrokerAwayAndBackIsSaidOnceEachWayAndGetsOnlyTheLatestState) {
    const std::string broker_config = config(false);
    auto broker = std::make_unique<Broker>(broker_config);
    ASSERT_TRUE(broker->ready()) << testing::PrintToString(broker->log.all());
    MqttLink link;
    const MqttSettings link_settings = settings("away");
    ASSERT_EQ(link.start(link_settings, say), "");
    ASSERT_TRUE(broker->log.wait_for_text("as kelvastats-away"));
    broker.reset();

    const std::string away =
        "kelvastats-collect: cannot reach the MQTT broker at " + link_settings.url + ": ";
    ASSERT_TRUE(said.wait_for_text(away));
    link.publish(snapshot_with_rate(1000));
    link.publish(snapshot_with_rate(2000));

    set_gate(false);
    broker = std::make_unique<Broker>(broker_config);
    ASSERT_TRUE(broker->ready()) << testing::PrintToString(broker->log.all());
    Watcher watcher(port_);
    ASSERT_TRUE(watcher.subscribed());
    set_gate(true);
    const std::vector<Message> messages = watcher.until_topic("kelvastats/away/state");
    ASSERT_FALSE(messages.empty()) << "no state after the broker came back";
    // The broker may hand the retained and the live messages in either order: the state is the
    // latest only, and every sensor comes before it (Home Assistant reads a state only for a
    // sensor it knows).
    const auto state = std::find_if(messages.rbegin(), messages.rend(), [](const Message& m) {
        return m.topic == "kelvastats/away/state";
    });
    ASSERT_NE(state, messages.rend());
    EXPECT_EQ(state->payload, state_json(snapshot_with_rate(2000)));
    for (const Message& message : messages)
        EXPECT_NE(message.payload, state_json(snapshot_with_rate(1000)));
    const auto before_state = state.base() - 1;
    for (const MqttMessage& sensor :
         discovery_messages(link_settings.topics, snapshot_with_rate(2000))) {
        EXPECT_TRUE(std::any_of(messages.begin(), before_state, [&](const Message& m) {
            return m.topic == sensor.topic;
        })) << sensor.topic;
    }

    const std::vector<std::string> lines = said.all();
    ASSERT_EQ(lines.size(), 2U) << testing::PrintToString(lines);
    EXPECT_EQ(lines[0].rfind(away, 0), 0U) << lines[0];
    EXPECT_EQ(lines[1],
              "kelvastats-collect: the MQTT broker at " + link_settings.url + " is reached again");
}

TEST_F(MqttLinkTest, RightPasswordGetsInAndAWrongOneIsSaid) {
    Broker broker(config(true));
    ASSERT_TRUE(broker.ready()) << testing::PrintToString(broker.log.all());
    Watcher watcher(port_, "kelva", "right-password");
    ASSERT_TRUE(watcher.subscribed());

    MqttLink right, wrong;
    MqttSettings right_settings = settings("right");
    right_settings.user = "kelva";
    right_settings.password = "right-password";
    MqttSettings wrong_settings = settings("wrong");
    wrong_settings.user = "kelva";
    wrong_settings.password = "wrong-password";
    ASSERT_EQ(right.start(right_settings, say), "");
    ASSERT_EQ(wrong.start(wrong_settings, say), "");

    EXPECT_FALSE(watcher.until_topic("kelvastats/right/availability", "online").empty());
    const std::string refused = "kelvastats-collect: the MQTT broker at " + wrong_settings.url +
                                " refused the user name or password";
    ASSERT_TRUE(said.wait_for_text(refused));
    wrong.stop();
    right.stop();
    EXPECT_EQ(said.all(), std::vector<std::string>{refused});
}
