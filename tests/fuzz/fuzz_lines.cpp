// Feeds arbitrary bytes as the router's reply to the parsing and line building of both logs, in
// memory and without a file call, so the fuzzer spends its time where replies are read. Every
// line must be one line: it ends in CR LF and holds no other line feed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/settings.h"
#include "stats/bins_log.h"
#include "stats/statistics_log.h"

namespace {

void expect_one_line(const std::string& line) {
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) std::abort();
    if (line.find('\n') != line.size() - 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    // The received text is what one read delivered, cut at its first zero byte.
    const std::string_view text = reply.substr(0, reply.find('\0'));
    const StatisticsLines lines = build_statistics_lines(text, "07/12/26", "17:08");
    expect_one_line(lines.header);
    expect_one_line(lines.data);
    expect_one_line(bins_data_line(text, "07/12/26", "17:08"));
    return 0;
}
