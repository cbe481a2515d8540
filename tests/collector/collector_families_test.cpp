// kelvastats-collect against the simulated Broadcom and DrayTek routers over loopback: the line and
// tones logs hold the figures the simulated line had, the console line and the metrics say them,
// and a refused login or a line that is down is told as such.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "harness/temp_dir.h"
#include "tests/support/file_bytes.h"
#include "tests/support/run_program.h"
#include "tools/line_model.h"
#include "tools/router_sim.h"

namespace {

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + separator.size();
    }
}

// The log's lines, each split at its commas; the last line must end with CR LF.
std::vector<std::vector<std::string>> csv_rows(const std::string& log) {
    std::vector<std::vector<std::string>> rows;
    EXPECT_TRUE(log.ends_with("\r\n")) << "a line is not whole";
    for (const std::string& line : split(log, "\r\n")) {
        if (!line.empty()) rows.push_back(split(line, ","));
    }
    return rows;
}

std::string count_text(std::uint64_t count) {
    return std::to_string(count);
}

// A decibel figure as the family prints it: DrayTek's console gives whole decibels.
std::string decibels(SimFamily family, std::int32_t tenths) {
    return family == SimFamily::draytek ? std::to_string(tenths / 10) : decibel_text(tenths);
}

struct Family {
    const char* name;
    SimFamily family;
    LineKind line;
};

class CollectorFamilies : public ::testing::TestWithParam<Family> {
  protected:
    void SetUp() override { write_secret_file(path("password"), "secret\n"); }
    RouterSim& start_router(RouterSimOptions options) {
        options.family = GetParam().family;
        options.line.kind = GetParam().line;
        options_ = options;
        router_ = std::make_unique<RouterSim>(std::move(options));
        EXPECT_TRUE(router_->start()) << router_->error();
        return *router_;
    }
    int run_once() {
        return run_program(KELVA_COLLECT_PROGRAM,
                           std::string("--router ") + GetParam().name +
                               " --user admin --once --address 127.0.0.1 --port " +
                               std::to_string(router_->port()) + " --directory " + dir_.path() +
                               " --password-file " + path("password") + " --metrics " +
                               path("line.prom"),
                           path("out"), path("err"));
    }
    std::string path(const std::string& name) const { return dir_.path() + "/" + name; }
    std::string output() const { return read_file_bytes(path("out")); }
    std::string errors() const { return read_file_bytes(path("err")); }

    TempDir dir_{"kelva_collector_families_"};
    RouterSimOptions options_;
    std::unique_ptr<RouterSim> router_;
};

TEST_P(CollectorFamilies, TwoCollectionsLogTheLinesFiguresAsRunningTotals) {
    start_router({});
    for (int collection = 0; collection < 2; ++collection) {
        SCOPED_TRACE(collection);
        ASSERT_EQ(run_once(), 0) << errors();
        EXPECT_EQ(errors(), "");
        const LineCollection line = line_collection(options_.line, collection);
        const SimFamily family = GetParam().family;
        const std::uint64_t crc_change =
            collection == 0
                ? 0
                : line.counts.crc.down - line_collection(options_.line, 0).counts.crc.down;
        const std::string status = "   Rate " + std::to_string(line.rate_kbps.down) + "/" +
                                   std::to_string(line.rate_kbps.up) + " kbit/s   SNR margin " +
                                   decibels(family, line.snr_margin_tenths.down) + "/" +
                                   decibels(family, line.snr_margin_tenths.up) +
                                   " dB   DeltaCRC: " + std::to_string(crc_change) + "\n";
        EXPECT_TRUE(
            std::regex_search(output(), std::regex("^Collection: \\d\\d:\\d\\d   \\w+   Rate ")))
            << output();
        EXPECT_TRUE(output().ends_with(status)) << output();

        const auto rows = csv_rows(read_file_bytes(path("kelvaline.csv")));
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(collection + 2));
        const std::vector<std::string>& header = rows.front();
        const std::vector<std::string>& row = rows.back();
        ASSERT_GE(row.size(), 26u);
        const auto field = [&](const std::string& name) {
            for (std::size_t i = 0; i < header.size(); ++i) {
                if (header[i] == name) return row.at(i);
            }
            ADD_FAILURE() << "no column " << name;
            return std::string();
        };
        EXPECT_TRUE(std::regex_match(
            field("Time"),
            std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d")))
            << field("Time");
        EXPECT_EQ(field("RateDown"), std::to_string(line.rate_kbps.down));
        EXPECT_EQ(field("RateUp"), std::to_string(line.rate_kbps.up));
        EXPECT_EQ(field("AttainableDown"), std::to_string(line.attainable_kbps.down));
        EXPECT_EQ(field("AttainableUp"), std::to_string(line.attainable_kbps.up));
        EXPECT_EQ(field("SNRMarginDown"), decibels(GetParam().family, line.snr_margin_tenths.down));
        EXPECT_EQ(field("SNRMarginUp"), decibels(GetParam().family, line.snr_margin_tenths.up));
        EXPECT_EQ(field("CRCDown"), count_text(line.counts.crc.down));
        EXPECT_EQ(field("CRCUp"), count_text(line.counts.crc.up));
        EXPECT_EQ(field("FECDown"), count_text(line.counts.fec.down));
        EXPECT_EQ(field("FECUp"), count_text(line.counts.fec.up));
        EXPECT_EQ(field("ESDown"), count_text(line.counts.es.down));
        EXPECT_EQ(field("UASUp"), count_text(line.counts.uas.up));

        // The tones log's latest whole or compact line rebuilds the loading the line had.
        const auto tones = csv_rows(read_file_bytes(path("kelvatones.csv")));
        ASSERT_GE(tones.size(), 2u);
        EXPECT_EQ(tones.front().at(0), "Time");
        EXPECT_EQ(tones.front().at(1), "Kind");
        EXPECT_EQ(tones.front().size(), line.bits.size() + 2);

        const std::string metrics = read_file_bytes(path("line.prom"));
        // Prometheus's base unit: bytes per second.
        EXPECT_NE(metrics.find("kelvastats_line_sync_rate_bytes_per_second{direction=\"down\"} " +
                               std::to_string(line.rate_kbps.down * 125) + "\n"),
                  std::string::npos)
            << metrics.substr(0, 2000);
        EXPECT_NE(metrics.find("kelvastats_line_crc_errors_total{direction=\"up\"} " +
                               count_text(line.counts.crc.up) + "\n"),
                  std::string::npos);
    }
}

TEST_P(CollectorFamilies, RefusedLoginExitsThreeWithOneClearLineAndNothingLogged) {
    RouterSimOptions options;
    options.refuse_logins = true;
    start_router(options);
    EXPECT_EQ(run_once(), 3);
    EXPECT_TRUE(std::regex_search(
        errors(), std::regex("^\\d\\d:\\d\\d the router refused the user name or password\n")))
        << errors();
    EXPECT_FALSE(std::filesystem::exists(path("kelvaline.csv")));
    EXPECT_FALSE(std::filesystem::exists(path("kelvatones.csv")));
    EXPECT_NE(read_file_bytes(path("line.prom"))
                  .find("kelvastats_missed_cycles_total{reason=\"refused\"} 1"),
              std::string::npos);
    ASSERT_EQ(router_->sessions().size(), 1u);
    EXPECT_FALSE(router_->sessions()[0].logged_in);
}

TEST_P(CollectorFamilies, LineThatIsDownIsLoggedWithItsStateAndEmptyFigures) {
    RouterSimOptions options;
    options.line.down = true;
    start_router(options);
    ASSERT_EQ(run_once(), 0) << errors();
    const auto rows = csv_rows(read_file_bytes(path("kelvaline.csv")));
    ASSERT_EQ(rows.size(), 2u);
    const std::vector<std::string>& row = rows.back();
    ASSERT_GE(row.size(), 26u);
    EXPECT_FALSE(row[1].empty()) << "the state word";
    EXPECT_EQ(std::string(row[1]).find("howtime"), std::string::npos) << row[1];
    // No rate, or the router's own 0 (DrayTek prints "0 bps"); never a figure of another line.
    EXPECT_TRUE(row[4] == "" || row[4] == "0") << "RateDown " << row[4];
    EXPECT_TRUE(row[5] == "" || row[5] == "0") << "RateUp " << row[5];
    EXPECT_FALSE(std::filesystem::exists(path("kelvatones.csv")) &&
                 csv_rows(read_file_bytes(path("kelvatones.csv"))).size() > 1)
        << "a line without a bit table has no tones line";
}

INSTANTIATE_TEST_SUITE_P(
    , CollectorFamilies,
    ::testing::Values(Family{"broadcom", SimFamily::broadcom, LineKind::vdsl17a},
                      Family{"draytek", SimFamily::draytek, LineKind::vdsl17a},
                      Family{"broadcom", SimFamily::broadcom, LineKind::adsl2plus}),
    [](const auto& info) {
        return std::string(info.param.name) +
               (info.param.line == LineKind::vdsl17a ? "Vdsl17a" : "Adsl2plus");
    });

}  // namespace
