// The log steps' allocation-free paths (views, appends, buffers reused from line to line and cell
// to cell) against the texts the primitives define, over many generated lines and cells.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "runtime/text.h"
#include "stats/bins_log.h"
#include "stats/status_reply.h"

namespace {

// Lines made of the bytes the parsers treat specially, blanks weighted so that runs and pairs
// are common, of every length around the 20-character cell and the 40-character label cut.
class LineMaker {
  public:
    std::string next(std::size_t max_length) {
        static constexpr char bytes[] = {' ', ' ', ' ', '\t', '\t', '=', 'd', 'B', '7', 'x', '\0'};
        std::uniform_int_distribution<std::size_t> length(0, max_length);
        std::uniform_int_distribution<std::size_t> pick(0, sizeof bytes - 1);
        std::string line(length(random_), ' ');
        for (char& c : line) c = bytes[pick(random_)];
        return line;
    }

  private:
    std::mt19937 random_{20261207};
};

constexpr int generated_cases = 20000;

std::string bit_count_by_definition(std::string_view cell) {
    return nth_field(trim_left(replace_all(cell, "  ", " ")), 5, " ");
}

std::string value_text_by_definition(std::string_view line) {
    return concat(nth_field(line, 3, "\t"), nth_field(line, 4, "\t"), nth_field(line, 5, "\t"),
                  nth_field(line, 6, "\t"), nth_field(line, 7, "\t"));
}

std::string column_label_by_definition(std::string_view line) {
    return trim_right(trim_left(mid(concat(nth_field(line, 1, "="), ","), 1, 40)));
}

TEST(ReusedBuffers, BitCountTextWithAReusedBufferKeepsNothingOfTheCellBefore) {
    LineMaker maker;
    std::string collapsed;  // shared by every cell, as in the bins step
    for (int k = 0; k < generated_cases; ++k) {
        const std::string cell = maker.next(26);
        const std::string expected = bit_count_by_definition(cell);
        ASSERT_EQ(bit_count_text(cell, collapsed), expected) << '"' << cell << '"';
    }
}

TEST(ReusedBuffers, AppendedLabelsAndValuesAreTheColumnsTextsAfterWhatWasThere) {
    LineMaker maker;
    std::string value;  // shared by every line, as in the statistics step
    for (int k = 0; k < generated_cases; ++k) {
        const std::string line = maker.next(60);
        const std::string value_text_expected = value_text_by_definition(line);
        const std::string label_expected = column_label_by_definition(line);
        const std::string column_expected = replace_all(value_text_expected, "dB", "");

        std::string text = "kept,";
        append_column_label(text, line);
        ASSERT_EQ(text, "kept," + label_expected) << '"' << line << '"';
        text = "kept,";
        append_column_value(text, line, value);
        ASSERT_EQ(text, "kept," + column_expected) << '"' << line << '"';

        ASSERT_EQ(column_label(line), label_expected) << '"' << line << '"';
        ASSERT_EQ(column_value(line), column_expected) << '"' << line << '"';
        ASSERT_EQ(value_text(line), value_text_expected) << '"' << line << '"';
        ASSERT_EQ(counter_value(line), to_number(value_text_expected)) << '"' << line << '"';
    }
}

TEST(ReusedBuffers, AppendingReplaceAllLeavesTheTextBeforeIt) {
    std::string result = "12.5";
    append_replace_all(result, " dB dB", "dB", "");
    append_replace_all(result, "|", "", "x");  // an empty search appends the text as it is
    EXPECT_EQ(result, "12.5  |");
}

}  // namespace
