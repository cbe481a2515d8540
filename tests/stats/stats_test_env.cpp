// The shared set-up of the stats tests.
#include "stats_test_env.h"

#include "runtime/file_layer.h"
#include "runtime/tone.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "stats/line_step.h"
#include "stats/pending_lines.h"
#include "stats/status_line.h"

Recorded recorded;

namespace {

void record_status(int bar, int field, std::string_view text) {
    if (bar != 0 || field != 0)
        ADD_FAILURE() << "status text set on bar " << bar << " field " << field;
    recorded.statuses.emplace_back(text);
}

int record_box(std::string_view title, std::string_view text, int flags) {
    recorded.boxes.push_back({std::string(title), std::string(text), flags});
    return 1;
}

void record_tone(std::int32_t frequency_hz, std::int32_t duration_ms) {
    recorded.tones.emplace_back(frequency_hz, duration_ms);
}

}  // namespace

void StatsTest::SetUp() {
    recorded = {};
    test_clock = {2026, 12, 7, 17, 8, 0};
    set_clock_source(&read_test_clock);
    set_tone_output(&record_tone);
    install_ui_calls({&record_status, &record_box});
    reset_settings_to_defaults();
    reset_pending_log_lines();
    reset_collection_status();
    reset_line_step();

    dir_.emplace("kelva_stats_");
    ASSERT_TRUE(dir_->enter());
}

void StatsTest::TearDown() {
    close_all_files();
    if (dir_) {
        EXPECT_TRUE(dir_->leave());
    }
    dir_.reset();
    set_clock_source(nullptr);
    set_tone_output(nullptr);
    install_ui_calls({});
}

std::string test_data(const std::string& name) {
    return read_file_bytes(std::string(KELVA_TEST_DATA_DIR) + "/" + name);
}
