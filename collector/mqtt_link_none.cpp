// The MQTT link of a build without libmosquitto (Windows): never started, so the collector
// refuses --mqtt with the reason start() gives.
#include "collector/mqtt_link.h"

struct MqttLink::State {};

MqttLink::MqttLink() = default;
MqttLink::~MqttLink() = default;

bool MqttLink::available() {
    return false;
}

std::string MqttLink::start(const MqttSettings&, MqttSay) {
    return "this build of kelvastats-collect has no MQTT (libmosquitto is not built for Windows)";
}

void MqttLink::publish(const LineSnapshot&) {}

void MqttLink::stop() {}
