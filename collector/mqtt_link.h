// The collector's link to an MQTT broker: connected beside the collection, never holding it up.
// A broker that is away is tried again with a growing pause (up to a minute); only the latest
// state is sent once it is back, so no queue grows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "collector/home_assistant.h"

struct MqttAddress {
    std::string host;
    std::int32_t port = 1883;  // 8883 for mqtts://
    bool tls = false;
};

// Reads "mqtt://host[:port]" or "mqtts://host[:port]" (a trailing "/" is taken). Returns "" and
// fills `address`, or the one line that says why the URL is refused.
std::string read_mqtt_url(std::string_view url, MqttAddress& address);

struct MqttSettings {
    MqttAddress address;
    std::string url;       // as given, for messages
    std::string ca_file;   // "" for the system's certificate authorities (mqtts:// only)
    std::string user;      // "" for none
    std::string password;  // "" for none
    MqttTopics topics;
};

// Lines for the console, which the link calls from its own thread.
using MqttSay = void (*)(std::string_view line);

class MqttLink {
  public:
    MqttLink();
    ~MqttLink();  // ends as stop() does
    MqttLink(const MqttLink&) = delete;
    MqttLink& operator=(const MqttLink&) = delete;

    // Whether this build has MQTT at all (the Windows build does not).
    static bool available();

    // Starts connecting in the background, the will "offline" on the availability topic set.
    // Returns "" or the one line that says why it cannot start (a CA file that cannot be read,
    // no MQTT in this build). A broker that cannot be reached is no failure: it is said once on
    // `say_error`, tried again, and said once on `say_error` when it is reached again (before
    // anything is sent on the new connection).
    std::string start(const MqttSettings& settings, MqttSay say_error);

    // Hands over the latest figures: the state message is sent now when connected, else kept as
    // the one to send on the next connect (replacing any older one). The discovery messages are
    // sent again when the snapshot's set of sensors changed. Any thread; never blocks on the
    // network.
    void publish(const LineSnapshot& snapshot);

    // Sends "offline" (retained) and disconnects, waiting at most about a second for the broker.
    void stop();

  private:
    struct State;
    std::unique_ptr<State> state_;
};
