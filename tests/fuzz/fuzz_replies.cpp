// Feeds arbitrary bytes to both log steps as the router's reply, writing real logs into a
// temporary directory: no reply may crash, leak or reach undefined behaviour.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/file_layer.h"
#include "runtime/text.h"
#include "runtime/tone.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "stats/bins_log.h"
#include "stats/statistics_log.h"

namespace {

void no_tone(std::int32_t, std::int32_t) {}
void no_status(int, int, std::string_view) {}
int no_box(std::string_view, std::string_view, int) {
    return 1;
}

bool prepare() {
    char dir[] = "/tmp/kelva-fuzz-replies-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
    set_tone_output(&no_tone);
    install_ui_calls({&no_status, &no_box});
    reset_settings_to_defaults();
    settings.alarm_threshold = 1;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = prepare();
    (void)ready;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The received text is what one read delivered, cut at its first zero byte.
    assign(settings.received_text, bytes);
    write_statistics();
    write_bins();
    // Keep the logs small so the run measures parsing, not the disk.
    if (file_size(settings.stats_log_name) > (1 << 20)) unlink(settings.stats_log_name.c_str());
    if (file_size(settings.bins_log_name) > (1 << 20)) unlink(settings.bins_log_name.c_str());
    return 0;
}
