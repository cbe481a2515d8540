// kelvastats-report as a user runs it: its exit status, its messages, its files.
#include <gtest/gtest.h>

#include <string>

#include "harness/temp_dir.h"
#include "runtime/version.h"
#include "tests/support/file_bytes.h"
#include "tests/support/run_program.h"

namespace {

const char* const statistics_header =
    "Date, Time,FCDeltaFEC,FCDeltaCRC,FCDeltaHEC,FCDeltaNCD,FCDeltaOCD,\r\n";

class ReportCommand : public ::testing::Test {
  protected:
    // Runs the program with `arguments`; its output and errors land in out and err.
    int run(const std::string& arguments) {
        return run_program(KELVA_REPORT_PROGRAM, arguments, path("out"), path("err"));
    }
    std::string path(const std::string& name) const { return dir_.path() + "/" + name; }
    std::string output() const { return read_file_bytes(path("out")); }
    std::string errors() const { return read_file_bytes(path("err")); }

    TempDir dir_{"kelva_report_command_"};
};

TEST_F(ReportCommand, HeaderOnlyLogGivesAReportWithNoneFigures) {
    write_file_bytes(path("kelvastats.csv"), statistics_header);
    ASSERT_EQ(run(dir_.path()), 0) << errors();
    EXPECT_EQ(output(),
              "period: none\ncollections: 0 statistics, 0 bins\ninterval: none\n"
              "gaps: 0, 0 collections missing\nerrors: FEC 0, CRC 0, HEC 0, NCD 0, OCD 0\n"
              "worst CRC hour: none\ntotal bits: none\nskipped lines: 0\n");
    EXPECT_NE(read_file_bytes(path("kelvastats-report.html")).find("only the header"),
              std::string::npos);
}

TEST_F(ReportCommand, SameLogsGiveTheSameReportByteForByte) {
    write_file_bytes(path("kelvastats.csv"),
                     std::string(statistics_header) + "01/03/26,10:00,0,1,0,0,0,\r\n");
    const std::string first = path("first.html"), second = path("second.html");
    ASSERT_EQ(run("--output " + first + " " + dir_.path()), 0);
    ASSERT_EQ(run("--output " + second + " " + dir_.path()), 0);
    EXPECT_EQ(read_file_bytes(first), read_file_bytes(second));
    EXPECT_EQ(errors(), "");  // no progress when standard error is not a terminal
}

TEST_F(ReportCommand, FailuresSayWhatWentWrongInOneLineAndExitWithOne) {
    EXPECT_EQ(run(dir_.path()), 1);
    EXPECT_NE(errors().find("neither kelvastats.csv nor kelvabins.csv"), std::string::npos);

    write_file_bytes(path("kelvastats.csv"), statistics_header);
    EXPECT_EQ(run("--output " + path("no/such/dir.html") + " " + dir_.path()), 1);
    EXPECT_NE(errors().find("cannot write the report to"), std::string::npos);

    write_file_bytes(path("kelvabins.csv"), "Tone,Bits\r\n1,2\r\n");
    EXPECT_EQ(run(dir_.path()), 1);
    EXPECT_NE(errors().find("kelvabins.csv is not a KelvaStats log"), std::string::npos);
    EXPECT_EQ(errors().find('\n'), errors().size() - 1);

    EXPECT_EQ(run("--since 2026-02-30 " + dir_.path()), 1);
    EXPECT_NE(errors().find("not 2026-02-30"), std::string::npos);
    // Days whose minutes a log cannot hold, far out or before its first year: the range is said.
    for (const char* days : {"--since 6084-01-01", "--until=1999-12-31"}) {
        EXPECT_EQ(run(std::string(days) + " " + dir_.path()), 1) << days;
        EXPECT_NE(errors().find("2000-01-01 to 2099-12-31"), std::string::npos) << errors();
        EXPECT_EQ(errors().find('\n'), errors().size() - 1) << errors();
    }
    EXPECT_EQ(run("--output"), 1);
    EXPECT_EQ(run("--output= --since 2026-01-01 " + dir_.path()), 1);  // not a file "--since"
    EXPECT_NE(errors().find("--output= has no value"), std::string::npos) << errors();
    EXPECT_EQ(errors().find('\n'), errors().size() - 1) << errors();
}

TEST_F(ReportCommand, OptionsTakeAnEqualsVersionSaysItselfAndOpenHandsTheReportOver) {
    write_file_bytes(path("kelvastats.csv"), std::string(statistics_header) +
                                                 "01/03/26,10:00,0,1,0,0,0,\r\n"
                                                 "02/03/26,10:00,0,2,0,0,0,\r\n");
    ASSERT_EQ(run("--version"), 0);
    EXPECT_EQ(output(), "kelvastats-report " + std::string(program_version()) + "\n");
    ASSERT_EQ(run("--since=2026-03-02 --output=" + path("day.html") + " " + dir_.path()), 0)
        << errors();
    EXPECT_NE(output().find("collections: 1 statistics"), std::string::npos);

    const std::string opened = path("opened");
    if (!use_stand_in_opener(dir_.path(), opened, 0))
        GTEST_SKIP() << "the report is opened through the Windows shell, which has no stand-in";
    ASSERT_EQ(run("--open " + dir_.path()), 0) << errors();
    EXPECT_EQ(read_file_bytes(opened), path("kelvastats-report.html") + "\n");
    use_stand_in_opener(dir_.path(), opened, 3);  // no browser for it
    EXPECT_EQ(run("--open " + dir_.path()), 2);
    EXPECT_NE(errors().find("cannot be opened"), std::string::npos);
    EXPECT_EQ(errors().find('\n'), errors().size() - 1) << errors();
}

}  // namespace
