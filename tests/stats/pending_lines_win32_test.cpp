// Windows' everyday unwritable log: another program (a spreadsheet) holds it open without sharing.
// Its lines wait and are written, in order, once the log is released.
#include <windows.h>

#include "settings/settings.h"
#include "stats/pending_lines.h"
#include "stats/statistics_log.h"
#include "stats_test_env.h"
#include "tools/router_replies.h"

namespace {

const std::string stats_log = "kelvastats.csv";

// While it lives, the file is open here with no sharing at all, as a spreadsheet keeps it.
class HeldWithoutSharing {
  public:
    explicit HeldWithoutSharing(const std::string& name)
        : handle_(CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldWithoutSharing() {
        if (held()) CloseHandle(handle_);
    }
    HeldWithoutSharing(const HeldWithoutSharing&) = delete;
    HeldWithoutSharing& operator=(const HeldWithoutSharing&) = delete;
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};

void collect(const LineCounters& counters, int minute) {
    test_clock.minute = minute;
    settings.received_text = show_adsl_reply(counters);
    ASSERT_EQ(write_statistics(), LogStep::done);
}

using PendingLinesOnWindows = StatsTest;

TEST_F(PendingLinesOnWindows, LinesOfALogHeldWithoutSharingAreWrittenInOrderOnceReleased) {
    collect({812, 3, 0, 0, 0}, 8);
    {
        const HeldWithoutSharing spreadsheet(stats_log);
        ASSERT_TRUE(spreadsheet.held());
        collect({812, 5, 0, 0, 0}, 9);
        collect({812, 9, 0, 0, 0}, 10);
        EXPECT_EQ(pending_line_count(LogKind::statistics), 2);
        EXPECT_EQ(recorded.statuses.back(),
                  "Collection: 17:10   DeltaCRC: 4   kelvastats.csv not written: 2 pending");
        EXPECT_TRUE(recorded.boxes.empty()) << "a log that exists is never created anew";
    }
    collect({812, 10, 0, 0, 0}, 11);
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_pending_in_order.csv"));
    EXPECT_EQ(pending_line_count(LogKind::statistics), 0);
}

}  // namespace
