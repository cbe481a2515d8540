// Feeds arbitrary bytes to the readers of the line and tones logs: the input is the line log, a
// NUL byte, then the tones log. No log may crash them, leak or reach undefined behaviour; the
// tones log read in two parts, at a place the input picks, must give what one part gives; and
// the page made from what they read holds no number that is not one.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "report/line_key_figures.h"
#include "report/line_page.h"
#include "report/log_reading.h"
#include "report/read_line_logs.h"
#include "report/read_tones_log.h"

namespace {

const std::string& work_dir() {
    static const std::string dir = [] {
        const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                           ("kelva_fuzz_line_logs_" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return dir;
}

void write(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

template <class Value>
bool same_floats(const std::vector<Value>& a, const std::vector<Value>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (!(a[k] == b[k] || (std::isnan(a[k]) && std::isnan(b[k])))) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view line_log = input.substr(0, nul);
    const std::string_view tones_log =
        nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
    const std::string line_path = work_dir() + "/kelvaline.csv";
    const std::string tones_path = work_dir() + "/kelvatones.csv";
    write(line_path, line_log);
    write(tones_path, tones_log);

    LineLogsFigures figures;
    read_line_logs(work_dir(), -1, -1, figures);
    // The charts hold only the page's own words and numbers (a router's texts go to the tables).
    const std::string page = line_report_html(figures);
    for (std::size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at)) {
        const std::size_t end = page.find("</svg>", at);
        const std::string_view chart = std::string_view(page).substr(at, end - at);
        if (chart.find("nan") != std::string_view::npos ||
            chart.find("inf") != std::string_view::npos)
            std::abort();
        at = end;
    }
    if (line_key_figures_text(figures).find("nan") != std::string::npos) std::abort();

    if (figures.tones_read != LogRead::read) return 0;
    const std::int64_t split = tones_log.empty() ? 1 : 1 + data[0] % tones_log.size();
    TonesLogFigures parts;
    read_tones_log(tones_path, figures.period, parts, nullptr, split);
    const TonesLogFigures& whole = figures.tones;
    if (parts.changes != whole.changes || parts.lowest != whole.lowest ||
        parts.highest != whole.highest || parts.latest != whole.latest ||
        parts.heat_counts != whole.heat_counts || !same_floats(parts.heat_sums, whole.heat_sums) ||
        !same_floats(parts.snr_lowest, whole.snr_lowest) ||
        !same_floats(parts.snr_latest, whole.snr_latest) ||
        parts.spacings.collections() != whole.spacings.collections() ||
        parts.quality.data_lines != whole.quality.data_lines ||
        parts.quality.not_numbers != whole.quality.not_numbers ||
        parts.not_rebuilt != whole.not_rebuilt)
        std::abort();
    return 0;
}
