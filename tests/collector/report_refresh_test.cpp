// ReportRefresh with the real kelvastats-report: the fresh report replaces the earlier one whole
// while a reader reads it in a loop, and a report that cannot be written is said and leaves no
// temporary file behind.
#include "collector/report_refresh.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "harness/temp_dir.h"
#include "tests/collector/said_lines.h"
#include "tests/support/file_bytes.h"

namespace {

SaidLines errors_said;
void say_error(std::string_view line) {
    errors_said.add(line);
}

constexpr std::string_view page_start = "<!DOCTYPE html>";
constexpr std::string_view page_end = "</html>\n";
constexpr int every_minutes = 60;  // only the first report comes within a test

bool whole_page(const std::string& bytes) {
    return bytes.size() >= page_start.size() + page_end.size() &&
           bytes.compare(0, page_start.size(), page_start) == 0 &&
           bytes.compare(bytes.size() - page_end.size(), page_end.size(), page_end) == 0;
}

class ReportRefreshTest : public ::testing::Test {
  protected:
    void SetUp() override {
        errors_said.clear();
        // Some days of collections, so that the page takes a while to write.
        std::string log = "Date, Time,FCDeltaFEC,FCDeltaCRC,FCDeltaHEC,FCDeltaNCD,FCDeltaOCD,\r\n";
        for (int day = 1; day <= 28; ++day) {
            for (int hour = 0; hour < 24; ++hour) {
                char line[64];
                std::snprintf(line, sizeof line, "%02d/03/26,%02d:00,0,%d,0,0,0,\r\n", day, hour,
                              (day * hour) % 7);
                log += line;
            }
        }
        write_file_bytes(path("kelvastats.csv"), log);
    }
    std::string path(const std::string& name) const { return dir_.path() + "/" + name; }

    TempDir dir_{"kelva_report_refresh_"};
};

TEST_F(ReportRefreshTest, FreshReportReplacesTheEarlierOneWholeWhileItIsRead) {
    const std::string page = path("report.html");
    const std::string earlier = "<!DOCTYPE html>\n<html><body>earlier</body></html>\n";
    write_file_bytes(page, earlier);
    ReportRefresh refresh(KELVA_REPORT_PROGRAM, dir_.path(), page, every_minutes, say_error);
    int reads = 0;
    std::string bad_read;
    bool fresh = false;
    std::thread reader([&] {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!fresh && bad_read.empty() && std::chrono::steady_clock::now() < give_up) {
            const std::string bytes = read_file_bytes(page);
            ++reads;
            if (!whole_page(bytes)) bad_read = bytes.substr(0, 200);
            fresh = bytes != earlier;
        }
    });
    refresh.collected();
    reader.join();
    EXPECT_TRUE(fresh);
    EXPECT_EQ(bad_read, "") << "after " << reads << " reads";
    refresh.stop();
    EXPECT_EQ(errors_said.now(), std::vector<std::string>{});
}

TEST_F(ReportRefreshTest, ReportThatCannotBeWrittenIsSaidAndLeavesNoTemporaryFile) {
    // A folder where the page should go: the temporary file is written, the rename fails.
    const std::string taken = path("taken");
    std::filesystem::create_directories(taken + "/inside");
    ReportRefresh refresh(KELVA_REPORT_PROGRAM, dir_.path(), taken, every_minutes, say_error);
    refresh.collected();
    const std::vector<std::string> said = errors_said.wait_for(1);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0],
              "kelvastats-collect: the report was not made: kelvastats-report: cannot "
              "write the report to " +
                  taken);
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

TEST(ReportProgram, IsBesideTheCollectorWithItsExtension) {
    EXPECT_EQ(std::filesystem::path(report_program_beside("dir/kelvastats-collect")),
              std::filesystem::path("dir/kelvastats-report"));
    EXPECT_EQ(std::filesystem::path(report_program_beside("dir/kelvastats-collect.exe")),
              std::filesystem::path("dir/kelvastats-report.exe"));
}

}  // namespace
