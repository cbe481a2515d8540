// What every stats test starts from: a fresh working directory, default settings, no pending
// lines, and recorders in place of the clock, the tone output and the window's two calls.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "harness/temp_dir.h"
#include "harness/test_clock.h"
#include "tests/support/file_bytes.h"

struct RecordedBox {
    std::string title;
    std::string text;
    int flags = 0;
    bool operator==(const RecordedBox&) const = default;
};

struct Recorded {
    std::vector<std::string> statuses;  // field 0 of bar 0 only; any other field is a fault
    std::vector<RecordedBox> boxes;
    std::vector<std::pair<std::int32_t, std::int32_t>> tones;  // frequency in Hz, duration in ms
};

extern Recorded recorded;

class StatsTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

  private:
    std::optional<TempDir> dir_;  // the working directory of this test
};

// A file of tests/data.
std::string test_data(const std::string& name);
