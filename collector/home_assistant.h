// The collector's messages to an MQTT broker in Home Assistant's terms: the JSON state message,
// and the retained discovery messages that make one sensor of each figure appear by itself,
// grouped under one device.
#pragma once

#include <string>
#include <vector>

#include "collector/line_news.h"

struct MqttTopics {
    std::string id;                // --mqtt-id: letters, digits, "_" and "-"
    std::string discovery_prefix;  // --mqtt-discovery-prefix, "homeassistant" by default
    std::string state() const { return "kelvastats/" + id + "/state"; }
    std::string availability() const { return "kelvastats/" + id + "/availability"; }
};

// The default --mqtt-id: the router's address with every character that is not a letter, a digit,
// "_" or "-" made "_" ("192.168.1.1" gives "192_168_1_1").
std::string default_mqtt_id(const std::string& address);

struct MqttMessage {
    std::string topic;
    std::string payload;
};

// The retained discovery messages for the figures that `snapshot`'s family gives (and, for the
// classic family, one sensor for each of its numeric status values). Each names its unit,
// device_class and state_class, a unique_id that stays the same from run to run, the state and
// availability topics, and the one device ("KelvaStats", the router's address, the family, the
// program's version).
std::vector<MqttMessage> discovery_messages(const MqttTopics& topics, const LineSnapshot& snapshot);

// The state message: one JSON object with every figure of the snapshot under the keys that the
// discovery messages' value templates read; a figure the snapshot lacks is null.
std::string state_json(const LineSnapshot& snapshot);
