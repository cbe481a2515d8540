// The settings record and its defaults.
#include "settings/settings.h"

Settings settings;

GuardedText& GuardedText::operator=(std::string_view text) {
    std::string copy(text.substr(0, text.find('\0')));
    std::lock_guard lock(mutex_);
    text_.swap(copy);
    return *this;
}

std::string GuardedText::get() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void zero_settings() {
    settings.received_text.clear();
    settings.connection = nullptr;
    settings.alarm_threshold = 0;
    settings.loop_flag.clear();
    settings.last_event = 0;
    for (Int32* field :
         {&settings.prev_fec, &settings.prev_crc, &settings.prev_hec, &settings.prev_ncd,
          &settings.prev_ocd, &settings.delta_fec, &settings.delta_crc, &settings.delta_hec,
          &settings.delta_ncd, &settings.delta_ocd}) {
        *field = 0;
    }
    settings.stats_log_name.clear();
    settings.bins_log_name.clear();
    settings.worker_thread = nullptr;
    settings.password = "";
    settings.port = 0;
    settings.dialog_finished = 0;
    settings.router_address = "";
    settings.worker_parameter = 0;
    settings.dialog_state = 0;
    settings.interval_ms = 0;
    settings.first_collection = 0;
    settings.worker_started = 0;
    settings.user_name.clear();
    settings.router_family = 0;
}

void reset_settings_to_defaults() {
    zero_settings();
    settings.stats_log_name = "kelvastats.csv";
    settings.bins_log_name = "kelvabins.csv";
    settings.loop_flag = "true";
    settings.user_name = "DSL";
    settings.first_collection = 1;
    settings.interval_ms = 60000;
    settings.router_address = "192.168.1.1";
    settings.port = 23;
    settings.alarm_threshold = 0;
}
