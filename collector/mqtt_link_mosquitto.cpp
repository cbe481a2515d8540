// The MQTT link on libmosquitto: one thread of its own that connects, runs the client's loop and
// pauses between attempts, while the worker only hands over the latest figures.
//
// The thread is ours rather than mosquitto_loop_start's: libmosquitto 2.0's own thread never tries
// again after a first attempt that fails at once (a refused port, no route yet, a name that is not
// found, all of them usual for a service started with the machine), and its pauses cannot be cut
// short by stop(). Ours pauses 1 s, then twice as long each time up to a minute.
#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "collector/mqtt_link.h"

namespace {

constexpr int keepalive_s = 60;
constexpr std::chrono::seconds first_pause{1};
constexpr std::chrono::seconds longest_pause{60};
// How long stop() waits for the broker to take the retained "offline".
constexpr std::chrono::milliseconds offline_wait_ms{1000};
// Where Debian keeps the system's certificate authorities, hashed for OpenSSL's lookup (which
// reads only the ones a broker's chain needs, rather than a whole bundle into memory).
constexpr const char* system_ca_path = "/etc/ssl/certs";

// Far above the number of sensors (the classic family's status values included).
constexpr int in_flight_limit = 1000;

constexpr int qos_at_most_once = 0;
constexpr int qos_at_least_once = 1;

std::once_flag library_started;

}  // namespace

struct MqttLink::State {
    MqttSettings settings;
    MqttSay say = nullptr;
    mosquitto* client = nullptr;
    std::thread thread;

    // Held across a connect attempt and across stop()'s disconnect, so that a stop either finds
    // the attempt's socket (and its disconnect wakes the loop) or comes before the attempt.
    std::mutex connect_mutex;
    std::atomic<bool> stopping{false};

    std::mutex mutex;              // guards everything below; each publish is made under it
    std::condition_variable wake;  // stop() to the pause; the "offline"'s acknowledgement
    bool connected = false;        // the broker took the connection, and it is not lost since
    bool got_in = false;           // the broker took the latest attempt's connection
    std::chrono::steady_clock::time_point got_in_at;
    bool told_away = false;    // "cannot reach" said, "reached again" not yet
    std::string failure_line;  // what to say of the latest attempt that failed
    std::string latest_state;  // the state message to send on the next connect; "" for none
    std::map<std::string, std::string> discovery;  // topic to payload, every sensor announced
    int offline_mid = -1;
    bool offline_acknowledged = false;

    std::string console_line(std::string_view what) const {
        return "kelvastats-collect: " + std::string(what);
    }

    void say_line(const std::string& line) const {
        if (say != nullptr && !line.empty()) say(line);
    }

    // Under `mutex`.
    void send(const std::string& topic, const std::string& payload, int qos, bool retain,
              int* mid = nullptr) {
        mosquitto_publish(client, mid, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), qos, retain);
    }

    void on_connect(int code) {
        if (code != 0) {
            std::lock_guard lock(mutex);
            // MQTT 3.1.1's "bad user name or password" and "not authorised".
            failure_line = code == 4 || code == 5
                               ? console_line("the MQTT broker at " + settings.url +
                                              " refused the user name or password")
                               : console_line("cannot reach the MQTT broker at " + settings.url +
                                              ": " + mosquitto_connack_string(code));
            return;
        }
        bool back = false;
        {
            std::lock_guard lock(mutex);
            back = told_away;
            told_away = false;
        }
        // Said before anything goes out on the new connection.
        if (back)
            say_line(console_line("the MQTT broker at " + settings.url + " is reached again"));
        std::lock_guard lock(mutex);
        connected = true;
        got_in = true;
        got_in_at = std::chrono::steady_clock::now();
        send(settings.topics.availability(), "online", qos_at_least_once, true);
        for (const auto& [topic, payload] : discovery)
            send(topic, payload, qos_at_least_once, true);
        if (!latest_state.empty())
            send(settings.topics.state(), latest_state, qos_at_most_once, false);
    }

    void on_disconnect(int code) {
        // errno still tells why a socket call failed.
        const std::string reason = mosquitto_strerror(code);
        std::lock_guard lock(mutex);
        connected = false;
        if (code != 0 && failure_line.empty())
            failure_line =
                console_line("cannot reach the MQTT broker at " + settings.url + ": " + reason);
        wake.notify_all();
    }

    void on_publish(int mid) {
        std::lock_guard lock(mutex);
        if (mid == offline_mid) {
            offline_acknowledged = true;
            wake.notify_all();
        }
    }

    void run();
};

void MqttLink::State::run() {
    std::chrono::seconds pause = first_pause;
    bool first = true;
    while (!stopping) {
        int code = MOSQ_ERR_SUCCESS;
        {
            std::lock_guard connect_lock(connect_mutex);
            if (stopping) break;
            {
                std::lock_guard lock(mutex);
                failure_line.clear();
                got_in = false;
            }
            code = first ? mosquitto_connect_async(client, settings.address.host.c_str(),
                                                   settings.address.port, keepalive_s)
                         : mosquitto_reconnect_async(client);
            first = false;
        }
        // Ends when the connection is lost or refused, or on stop(), whose disconnect (like each
        // publish) wakes the loop's wait.
        while (code == MOSQ_ERR_SUCCESS && !stopping)
            code = mosquitto_loop(client, keepalive_s * 1000, 1);
        const std::string reason = mosquitto_strerror(code);
        if (stopping) break;

        // An attempt that never got in is said, once until the broker is reached again. A lost
        // connection is tried again after the first pause, unless it lasted less than the longest
        // pause (a broker that drops each client at once, another client with our id): then the
        // pause keeps growing, as it does after each failed attempt.
        std::string line;
        bool lost_late = false;
        {
            std::lock_guard lock(mutex);
            lost_late = got_in && std::chrono::steady_clock::now() - got_in_at >= longest_pause;
            if (!got_in && !told_away) {
                told_away = true;
                line = !failure_line.empty() ? failure_line
                                             : console_line("cannot reach the MQTT broker at " +
                                                            settings.url + ": " + reason);
            }
        }
        say_line(line);
        if (lost_late) pause = first_pause;
        std::unique_lock lock(mutex);
        wake.wait_for(lock, pause, [this] { return stopping.load(); });
        pause = std::min(pause * 2, longest_pause);
    }
}

MqttLink::MqttLink() : state_(std::make_unique<State>()) {}

MqttLink::~MqttLink() {
    stop();
    if (state_->client != nullptr) mosquitto_destroy(state_->client);
}

bool MqttLink::available() {
    return true;
}

std::string MqttLink::start(const MqttSettings& settings, MqttSay say_error) {
    State& state = *state_;
    if (state.client != nullptr) return "the MQTT link is started already";
    if (settings.address.host.empty()) return "the MQTT broker has no host";
    if (!settings.ca_file.empty()) {
        std::FILE* file = std::fopen(settings.ca_file.c_str(), "rb");
        if (file == nullptr) return "the CA file " + settings.ca_file + " cannot be read";
        std::fclose(file);
    }
    std::call_once(library_started, [] { mosquitto_lib_init(); });

    state.settings = settings;
    state.say = say_error;
    const std::string client_id = "kelvastats-" + settings.topics.id;
    state.client = mosquitto_new(client_id.c_str(), true, &state);
    if (state.client == nullptr) return "an MQTT client cannot be made (out of memory)";
    mosquitto* client = state.client;
    mosquitto_threaded_set(client, true);
    // A QoS 1 message past the in-flight limit waits in the client while a QoS 0 one goes out at
    // once: with the default limit (20) the state message would pass the last sensors' discovery.
    mosquitto_int_option(client, MOSQ_OPT_SEND_MAXIMUM, in_flight_limit);
    mosquitto_connect_callback_set(client, [](mosquitto*, void* self, int code) {
        static_cast<State*>(self)->on_connect(code);
    });
    mosquitto_disconnect_callback_set(client, [](mosquitto*, void* self, int code) {
        static_cast<State*>(self)->on_disconnect(code);
    });
    mosquitto_publish_callback_set(client, [](mosquitto*, void* self, int mid) {
        static_cast<State*>(self)->on_publish(mid);
    });

    constexpr std::string_view offline = "offline";
    int code = mosquitto_will_set(client, settings.topics.availability().c_str(),
                                  static_cast<int>(offline.size()), offline.data(),
                                  qos_at_least_once, true);
    if (code == MOSQ_ERR_SUCCESS && !settings.user.empty()) {
        code = mosquitto_username_pw_set(
            client, settings.user.c_str(),
            settings.password.empty() ? nullptr : settings.password.c_str());
    }
    if (code == MOSQ_ERR_SUCCESS && settings.address.tls) {
        code = settings.ca_file.empty()
                   ? mosquitto_tls_set(client, nullptr, system_ca_path, nullptr, nullptr, nullptr)
                   : mosquitto_tls_set(client, settings.ca_file.c_str(), nullptr, nullptr, nullptr,
                                       nullptr);
    }
    if (code != MOSQ_ERR_SUCCESS) {
        mosquitto_destroy(client);
        state.client = nullptr;
        return std::string("the MQTT link cannot be set up: ") + mosquitto_strerror(code);
    }
    state.thread = std::thread([&state] { state.run(); });
    return "";
}

void MqttLink::publish(const LineSnapshot& snapshot) {
    State& state = *state_;
    if (state.client == nullptr) return;
    std::string json = state_json(snapshot);
    std::vector<MqttMessage> messages = discovery_messages(state.settings.topics, snapshot);
    std::lock_guard lock(state.mutex);
    state.latest_state = std::move(json);
    // A sensor once announced stays: one the snapshot lacks now keeps its entity (and its
    // history) in Home Assistant.
    for (MqttMessage& message : messages) {
        auto found = state.discovery.find(message.topic);
        if (found != state.discovery.end() && found->second == message.payload) continue;
        if (state.connected) state.send(message.topic, message.payload, qos_at_least_once, true);
        state.discovery[message.topic] = std::move(message.payload);
    }
    // Not retained: a state message is only worth anything while the collector runs.
    if (state.connected)
        state.send(state.settings.topics.state(), state.latest_state, qos_at_most_once, false);
}

void MqttLink::stop() {
    State& state = *state_;
    if (!state.thread.joinable()) return;
    {
        std::unique_lock lock(state.mutex);
        if (state.connected) {
            state.offline_acknowledged = false;
            state.send(state.settings.topics.availability(), "offline", qos_at_least_once, true,
                       &state.offline_mid);
            state.wake.wait_for(lock, offline_wait_ms, [&state] {
                return state.offline_acknowledged || !state.connected;
            });
        }
    }
    state.stopping = true;
    {
        std::lock_guard connect_lock(state.connect_mutex);
        mosquitto_disconnect(state.client);
    }
    {
        std::lock_guard lock(state.mutex);
        state.wake.notify_all();
    }
    state.thread.join();
}
