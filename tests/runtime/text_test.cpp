// Edge behaviour of the text and number primitives that the parsers and log lines depend on.
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace {

TEST(Text, MidPositionsOutOfRange) {
    struct Case {
        std::string_view text;
        std::int32_t start, count;
        std::string_view expected;
    };
    const Case cases[] = {
        {"abc", 0, 2, "ab"}, {"abc", 1, 2, "ab"},       {"abc", -7, 1, "a"},
        {"abc", 3, 5, "c"},  {"abc", 4, 1, ""},         {"abc", 2, -1, ""},
        {"abc", 2, 0, ""},   {"abc", INT_MAX, 1, ""},   {"abc", 2, INT_MAX, "bc"},
        {"", 1, 1, ""},      {{"ab\0cd", 5}, 3, 2, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mid(c.text, c.start, c.count), c.expected)
            << c.text << " " << c.start << " " << c.count;
    }
}

TEST(Text, NthFieldEmptyAndMissingFields) {
    struct Case {
        std::string_view text;
        std::int32_t index;
        std::string_view separator, expected;
    };
    const Case cases[] = {
        {"a,b,,c", 3, ",", ""}, {"a,b,,c", 4, ",", "c"},   {"a,b", 3, ",", ""},
        {"a,b", 0, ",", "a"},   {"a,b", -4, ",", "a"},     {"a,", 2, ",", ""},
        {"a,", 3, ",", ""},     {"k=v=w", 2, "=xyz", "v"}, {"abc", 1, "", "abc"},
        {"abc", 2, "", ""},     {"x\ty", 2, "\t", "y"},    {"", 1, ",", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nth_field(c.text, c.index, c.separator), c.expected) << c.text << " #" << c.index;
    }
}

TEST(Text, ReplaceAllNeverRescansItsOutput) {
    struct Case {
        std::string_view text, search, replacement, expected;
    };
    const Case cases[] = {
        {"12.5 dB", "dB", "", "12.5 "}, {"12.5 DB", "dB", "", "12.5 DB"},
        {"a  b", "  ", " ", "a b"},     {"   ", "  ", " ", "  "},
        {"    ", "  ", " ", "  "},      {"     ", "  ", " ", "   "},
        {"      ", "  ", " ", "   "},   {"aaa", "aa", "a", "aa"},
        {"ab d", "dB", "", "ab d"},     {"xdBdBx", "dB", "", "xx"},
        {"abc", "b", "bb", "abbc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replace_all(c.text, c.search, c.replacement), c.expected) << "[" << c.text << "]";
    }
}

TEST(Text, TrimRemovesOnlyBlanks) {
    EXPECT_EQ(trim_left("  a "), "a ");
    EXPECT_EQ(trim_right("  a "), "  a");
    EXPECT_EQ(trim_left("\ta"), "\ta");
    EXPECT_EQ(trim_right("a\r\n"), "a\r\n");
    EXPECT_EQ(trim_left("   "), "");
    EXPECT_EQ(trim_right("   "), "");
}

TEST(Text, ToNumberSignsSeparatorsAndWrapAround) {
    struct Case {
        std::string_view text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {" \t-12abc", -12},
        {"+7", 7},
        {"- 5", 0},
        {"+-3", 0},
        {"12.9", 12},
        {"1,5", 1},
        {"abc", 0},
        {"", 0},
        {"\n5", 0},
        {"\r5", 0},
        {"4294967297", 1},
        {"4294967295", -1},
        {"2147483648", INT_MIN},
        {"-2147483648", INT_MIN},
        {"2147483647", INT_MAX},
        {"-0", 0},
        {"007", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(to_number(c.text), c.expected) << "[" << c.text << "]";
}

TEST(Text, ToDecimalOfExtremes) {
    EXPECT_EQ(to_decimal(0), "0");
    EXPECT_EQ(to_decimal(-5), "-5");
    EXPECT_EQ(to_decimal(INT_MIN), "-2147483648");
    EXPECT_EQ(to_decimal(INT_MAX), "2147483647");
}

TEST(Text, TruncateToIntRoundsTowardZeroWhateverTheRoundingMode) {
    const int saved = std::fegetround();
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD}) {
        std::fesetround(mode);
        EXPECT_EQ(truncate_to_int(3 * 4.3125), 12);
        EXPECT_EQ(truncate_to_int(12.9375), 12);
        EXPECT_EQ(truncate_to_int(-0.5), 0);
        EXPECT_EQ(truncate_to_int(-1.9), -1);
    }
    std::fesetround(saved);
    EXPECT_EQ(truncate_to_int(1e12), INT_MAX);
    EXPECT_EQ(truncate_to_int(-1e12), INT_MIN);
    EXPECT_EQ(truncate_to_int(std::nan("")), 0);
}

TEST(Text, CharCodeIsUnsigned) {
    EXPECT_EQ(char_code(""), 0);
    EXPECT_EQ(char_code("\nx"), 10);
    EXPECT_EQ(char_code("\xC8"), 200);
}

TEST(Text, EqualsIsBytewiseAndUnsetIsEmpty) {
    const std::string unset;
    EXPECT_TRUE(equals("", unset));
    EXPECT_FALSE(equals("True", "true"));
    EXPECT_FALSE(equals("ab", "ab "));
}

TEST(Text, ZeroByteEndsAText) {
    const std::string_view with_zero("ab\0cd", 5);
    std::string variable = "old";
    assign(variable, with_zero);
    EXPECT_EQ(variable, "ab");
    EXPECT_EQ(length(with_zero), 2);
    EXPECT_EQ(trim_right(with_zero), "ab");
}

MemoryBlock block_of(std::string_view bytes) {
    MemoryBlock block = allocate_block(static_cast<std::int32_t>(bytes.size()));
    std::memcpy(block.bytes.get(), bytes.data(), bytes.size());
    return block;
}

TEST(Text, PeekStringStopsAtZeroCountOrBlockEnd) {
    const MemoryBlock abc_def = block_of({"abc\0def", 7});
    EXPECT_EQ(peek_string(abc_def), "abc");
    EXPECT_EQ(peek_string(abc_def, 7), "abc");
    EXPECT_EQ(peek_string(abc_def, 2), "ab");
    EXPECT_EQ(peek_string(abc_def, 0), "");
    EXPECT_EQ(peek_string(abc_def, -1), "");
    EXPECT_EQ(peek_string(allocate_block(8)), "");
    // No zero byte at all: the text ends with the block (the sanitizer build catches a read past
    // it).
    const MemoryBlock full = block_of("abcdef");
    EXPECT_EQ(peek_string(full, 3), "abc");
    EXPECT_EQ(peek_string(full, 100), "abcdef");
    EXPECT_EQ(peek_string(full), "abcdef");
    EXPECT_EQ(peek_string(MemoryBlock{}, 4), "");
}

TEST(Text, AllocateBlockIsZeroFilledOrNone) {
    EXPECT_EQ(allocate_block(0).bytes, nullptr);
    EXPECT_EQ(allocate_block(-1).bytes, nullptr);
    const MemoryBlock block = allocate_block(8192);
    ASSERT_NE(block.bytes, nullptr);
    EXPECT_EQ(block.size, 8192);
    for (int i = 0; i < block.size; ++i) ASSERT_EQ(block.bytes[static_cast<std::size_t>(i)], 0);
}

}  // namespace
