// The collector's MQTT messages in Home Assistant's terms: one sensor per figure of the router's
// family, announced by retained discovery messages, and the JSON state message that they read.
// Also the broker's URL, read alike by the build with MQTT and the one without.
#include "collector/home_assistant.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "collector/mqtt_link.h"
#include "runtime/calendar.h"
#include "runtime/text.h"
#include "runtime/version.h"

namespace {

// One sensor: its key in the state message (and in its topic and unique_id), what a person reads,
// and the unit and classes Home Assistant checks against each other.
struct Sensor {
    std::string key;
    std::string name;
    std::string unit;               // "" for none
    std::string_view device_class;  // "" for none
    bool measurement = true;        // state_class "measurement"; false for a text or a time
};

// Home Assistant refuses a device_class beside a unit it does not list for that class, so a class
// is only given for the units it takes (a router's "kbps" gets none).
std::string_view device_class_of(std::string_view unit) {
    if (unit == "dB" || unit == "dBm") return "signal_strength";
    if (unit == "s" || unit == "ms" || unit == "min" || unit == "h" || unit == "d")
        return "duration";
    if (unit == "bit/s" || unit == "kbit/s" || unit == "Mbit/s") return "data_rate";
    return "";
}

// "SNR margin down" gives "snr_margin_down": lower-case letters and digits, each other run of
// characters one "_".
std::string key_word(std::string_view label) {
    std::string word;
    for (const char c : label) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            word += c;
        } else if (c >= 'A' && c <= 'Z') {
            word += static_cast<char>(c - 'A' + 'a');
        } else if (!word.empty() && word.back() != '_') {
            word += '_';
        }
    }
    if (!word.empty() && word.back() == '_') word.pop_back();
    return word;
}

void add_both(std::vector<Sensor>& sensors, std::string_view key, std::string_view name,
              std::string_view unit, std::string_view device_class) {
    for (const std::string_view direction : {"down", "up"}) {
        sensors.push_back({std::string(key) + "_" + std::string(direction),
                           std::string(name) + " " + std::string(direction), std::string(unit),
                           device_class});
    }
}

// The classic family's five counters, in the order of LineSnapshot::classic_changes; its counts
// are those of the router's near end, the downstream.
constexpr std::array<std::string_view, 5> classic_counter_keys = {
    "fec_down", "crc_down", "hec_down", "ncd_down", "ocd_down"};
constexpr std::array<std::string_view, 5> classic_counter_names = {
    "FEC corrections down", "CRC errors down", "HEC errors down", "NCD errors down",
    "OCD errors down"};

// Each numeric status value's key: "status_" and its label's words, made unique with "_2", "_3"
// where labels repeat; "status_line_N" for a label without a letter or digit.
std::vector<std::string> status_keys(const std::vector<StatusValue>& values) {
    std::vector<std::string> keys;
    std::set<std::string> taken;
    for (const StatusValue& value : values) {
        std::string word = key_word(value.label);
        if (word.empty()) word = "line_" + std::to_string(value.line);
        std::string key = "status_" + word;
        for (int n = 2; taken.count(key) != 0; ++n)
            key = "status_" + word + "_" + std::to_string(n);
        taken.insert(key);
        keys.push_back(std::move(key));
    }
    return keys;
}

// The sensors of the snapshot's family. The classic family gives no state word and no figures
// of the line record, only its counters and its status reply's numbers; the DrayTek status gives
// no FEC and no severely errored seconds.
std::vector<Sensor> sensors_of(const LineSnapshot& snapshot) {
    std::vector<Sensor> sensors;
    if (snapshot.family == "classic") {
        for (std::size_t i = 0; i < classic_counter_keys.size(); ++i) {
            sensors.push_back({std::string(classic_counter_keys[i]),
                               std::string(classic_counter_names[i]) + " (interval)", "", ""});
        }
    } else {
        sensors.push_back({"state", "Line state", "", "", false});
        add_both(sensors, "rate", "Rate", "kbit/s", "data_rate");
        add_both(sensors, "attainable", "Attainable rate", "kbit/s", "data_rate");
        add_both(sensors, "snr_margin", "SNR margin", "dB", "signal_strength");
        add_both(sensors, "attenuation", "Attenuation", "dB", "signal_strength");
        add_both(sensors, "crc", "CRC errors (interval)", "", "");
        const bool draytek = snapshot.family == "draytek";
        if (!draytek) add_both(sensors, "fec", "FEC corrections (interval)", "", "");
        add_both(sensors, "es", "Errored seconds (interval)", "s", "duration");
        if (!draytek)
            add_both(sensors, "ses", "Severely errored seconds (interval)", "s", "duration");
    }
    sensors.push_back({"total_bits", "Bits of all tones", "", ""});
    sensors.push_back({"last_collection", "Last collection", "", "timestamp", false});
    if (snapshot.family == "classic") {
        const std::vector<std::string> keys = status_keys(snapshot.status_values);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const StatusValue& value = snapshot.status_values[i];
            sensors.push_back({keys[i], value.label.empty() ? keys[i] : value.label, value.unit,
                               device_class_of(value.unit)});
        }
    }
    return sensors;
}

// A JSON string: quotes, backslashes and control characters escaped, and each byte that is not
// part of valid UTF-8 made U+FFFD, so that whatever a router printed gives valid JSON.
void append_string(std::string& out, std::string_view text) {
    constexpr std::string_view hex = "0123456789abcdef";
    out += '"';
    while (!text.empty()) {
        const std::size_t length = utf8_sequence_length(text);
        const char c = text.front();
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            text.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += hex[static_cast<unsigned char>(c) >> 4];
            out += hex[static_cast<unsigned char>(c) & 0xF];
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    out += '"';
}

void append_key(std::string& out, std::string_view key) {
    if (out.size() > 1) out += ',';
    append_string(out, key);
    out += ':';
}

void append_field(std::string& out, std::string_view key, std::string_view text) {
    append_key(out, key);
    append_string(out, text);
}

// JSON has no NaN nor infinity: such a figure is null.
void append_number(std::string& out, std::optional<double> value) {
    if (!value || !std::isfinite(*value)) {
        out += "null";
        return;
    }
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, *value);
    out.append(digits, result.ptr);
}

void append_number(std::string& out, std::optional<std::int64_t> value) {
    out += value ? std::to_string(*value) : "null";
}

// "2026-12-09T20:04:00+00:00": ISO 8601 with its offset, as Home Assistant's timestamp sensors
// take it; in UTC, so that the message does not depend on the machine's time zone.
std::string utc_iso_time(std::int64_t time_unix) {
    const std::int64_t days = (time_unix >= 0 ? time_unix : time_unix - 86399) / 86400;
    const std::int64_t seconds = time_unix - days * 86400;
    const CivilDate date = civil_from_days(days);
    char text[48];
    const int n = std::snprintf(
        text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d+00:00",
        static_cast<long long>(date.year), date.month, date.day, static_cast<int>(seconds / 3600),
        static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return std::string(text, static_cast<std::size_t>(n));
}

template <typename Value>
void append_both(std::string& out, std::string_view key, const PerDirection<Value>& values) {
    append_key(out, std::string(key) + "_down");
    append_number(out, values.down);
    append_key(out, std::string(key) + "_up");
    append_number(out, values.up);
}

}  // namespace

std::string default_mqtt_id(const std::string& address) {
    std::string id = address;
    for (char& c : id) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!kept) c = '_';
    }
    return id;
}

std::vector<MqttMessage> discovery_messages(const MqttTopics& topics,
                                            const LineSnapshot& snapshot) {
    // The device part is the same in every message.
    std::string device = "{";
    append_key(device, "identifiers");
    device += '[';
    append_string(device, "kelvastats_" + topics.id);
    device += ']';
    append_field(device, "name", "KelvaStats " + snapshot.address);
    append_field(device, "manufacturer", "KelvaStats");
    append_field(device, "model", snapshot.family);
    append_field(device, "sw_version", program_version());
    device += '}';

    std::vector<MqttMessage> messages;
    for (const Sensor& sensor : sensors_of(snapshot)) {
        const std::string unique_id = "kelvastats_" + topics.id + "_" + sensor.key;
        std::string payload = "{";
        append_field(payload, "name", sensor.name);
        append_field(payload, "unique_id", unique_id);
        append_field(payload, "object_id", unique_id);
        append_field(payload, "state_topic", topics.state());
        append_field(payload, "value_template", "{{ value_json." + sensor.key + " }}");
        append_field(payload, "availability_topic", topics.availability());
        append_field(payload, "payload_available", "online");
        append_field(payload, "payload_not_available", "offline");
        if (!sensor.unit.empty()) append_field(payload, "unit_of_measurement", sensor.unit);
        if (!sensor.device_class.empty())
            append_field(payload, "device_class", sensor.device_class);
        if (sensor.measurement) append_field(payload, "state_class", "measurement");
        append_key(payload, "device");
        payload += device;
        payload += '}';
        messages.push_back(
            {topics.discovery_prefix + "/sensor/" + topics.id + "/" + sensor.key + "/config",
             std::move(payload)});
    }
    return messages;
}

std::string state_json(const LineSnapshot& snapshot) {
    std::string out = "{";
    append_key(out, "state");
    if (snapshot.state.empty()) {
        out += "null";
    } else {
        append_string(out, snapshot.state);
    }
    append_both(out, "rate", snapshot.rate_kbits);
    append_both(out, "attainable", snapshot.attainable_kbits);
    append_both(out, "snr_margin", snapshot.snr_margin_db);
    append_both(out, "attenuation", snapshot.attenuation_db);
    PerDirection<std::optional<std::int64_t>> crc = snapshot.crc, fec = snapshot.fec;
    if (snapshot.classic_changes) {
        fec.down = (*snapshot.classic_changes)[0];
        crc.down = (*snapshot.classic_changes)[1];
    }
    append_both(out, "crc", crc);
    append_both(out, "fec", fec);
    append_both(out, "es", snapshot.es);
    append_both(out, "ses", snapshot.ses);
    append_key(out, "total_bits");
    append_number(out, snapshot.total_bits);
    append_key(out, "last_collection");
    if (snapshot.last_collection_unix == 0) {
        out += "null";
    } else {
        append_string(out, utc_iso_time(snapshot.last_collection_unix));
    }
    if (snapshot.family == "classic") {
        // fec_down and crc_down are above; the other three counters and the status values.
        for (std::size_t i = 2; i < classic_counter_keys.size(); ++i) {
            append_key(out, classic_counter_keys[i]);
            append_number(out, snapshot.classic_changes
                                   ? std::optional<std::int64_t>((*snapshot.classic_changes)[i])
                                   : std::nullopt);
        }
        const std::vector<std::string> keys = status_keys(snapshot.status_values);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            append_key(out, keys[i]);
            append_number(out, std::optional<double>(snapshot.status_values[i].value));
        }
    }
    append_key(out, "collected");
    out += snapshot.collected ? "true" : "false";
    append_key(out, "reason");
    if (snapshot.reason.empty()) {
        out += "null";
    } else {
        append_string(out, snapshot.reason);
    }
    out += '}';
    return out;
}

std::string read_mqtt_url(std::string_view url, MqttAddress& address) {
    const auto starts_nocase = [&](std::string_view word) {
        if (url.size() < word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i) {
            const char c = url[i];
            if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != word[i])
                return false;
        }
        return true;
    };
    MqttAddress read;
    std::string_view rest;
    if (starts_nocase("mqtt://")) {
        rest = url.substr(7);
    } else if (starts_nocase("mqtts://")) {
        rest = url.substr(8);
        read.port = 8883;
        read.tls = true;
    } else {
        return "it does not begin with mqtt:// or mqtts://";
    }
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    if (rest.find('@') != std::string_view::npos)
        return "a user name or password does not go in the URL, where every user of the machine "
               "can see it: give --mqtt-user and --mqtt-password-file";
    if (rest.find_first_of("/?#") != std::string_view::npos)
        return "it has a path, and the broker's address is all it takes (the topics are "
               "kelvastats/ID/...)";
    for (const char c : rest) {
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
            return "its host holds a blank or a control character";
    }
    std::string_view host = rest, port;
    if (!rest.empty() && rest.front() == '[') {
        // An IPv6 address: "[::1]:1883".
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) return "its host has a \"[\" without its \"]\"";
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') return "its port does not follow a \":\"";
        if (!after.empty()) port = after.substr(1);
        if (!after.empty() && port.empty()) return "it has a \":\" without a port";
    } else if (const std::size_t colon = rest.find(':'); colon != std::string_view::npos) {
        if (rest.find(':', colon + 1) != std::string_view::npos)
            return "an IPv6 address goes in brackets: mqtt://[::1]:1883";
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (port.empty()) return "it has a \":\" without a port";
    }
    if (host.empty()) return "it names no host";
    if (!port.empty()) {
        std::int32_t number = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (error != std::errc() || end != port.data() + port.size() || number < 1 ||
            number > 65535)
            return "its port must be a number from 1 to 65535, not \"" + std::string(port) + "\"";
        read.port = number;
    }
    read.host = std::string(host);
    address = std::move(read);
    return "";
}
