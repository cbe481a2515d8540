// The numbered file layer on real files in a temporary directory: buffering, seeking, reopening,
// numbers that are not open, and writes that fail.
#include "runtime/file_layer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "harness/temp_dir.h"
#include "limited_child.h"
#include "tests/support/file_bytes.h"

namespace {

namespace fs = std::filesystem;

class FileLayer : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
    void TearDown() override { close_all_files(); }
    std::string path(const char* name) const { return (fs::path(dir_.path()) / name).string(); }

    TempDir dir_{"kelva-files-"};
};

TEST_F(FileLayer, FileSizeOfMissingEmptyDirectoryAndWildcardNames) {
    write_file_bytes(path("empty"), "");
    write_file_bytes(path("five"), "12345");
    write_file_bytes(path("aXb"), "xyz");
    fs::create_directory(path("sub"));
    EXPECT_EQ(file_size(""), -1);
    EXPECT_EQ(file_size(path("missing")), -1);
    EXPECT_EQ(file_size(path("empty")), 0);
    EXPECT_EQ(file_size(path("five")), 5);
    EXPECT_EQ(file_size(path("sub")), -2);
    EXPECT_EQ(file_size(path("a*b")), -1);  // no pattern matching: aXb is not found
    write_file_bytes(path("a*b"), "1");
    // Windows has no names with "*"; where they exist the layer finds exactly that file.
    if (read_file_bytes(path("a*b")) == "1") {
        EXPECT_EQ(file_size(path("a*b")), 1);
    }
}

TEST_F(FileLayer, EmptyTextsWriteNothingButTheLineEnd) {
    ASSERT_NE(create_file(0, path("log")), 0);
    EXPECT_EQ(write_string(0, ""), 0);
    write_line(0, "");
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(read_file_bytes(path("log")), "\r\n");
}

TEST_F(FileLayer, WriteOfExactlyTheFreeCountFlushesFirst) {
    ASSERT_NE(create_file(0, path("log")), 0);
    const auto calls = file_write_calls();
    write_string(0, std::string(4000, 'a'));
    write_string(0, std::string(95, 'b'));  // 96 free: fits
    EXPECT_EQ(file_write_calls(), calls);
    EXPECT_EQ(file_size(path("log")), 0);
    write_string(0, "c");  // exactly the one free byte: the 4095 go out, "c" stays buffered
    EXPECT_EQ(file_write_calls(), calls + 1);
    EXPECT_EQ(file_size(path("log")), 4095);
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(read_file_bytes(path("log")), std::string(4000, 'a') + std::string(95, 'b') + "c");
}

TEST_F(FileLayer, PiecesOf4096BytesOrMoreBypassTheBufferInOrder) {
    ASSERT_NE(create_file(0, path("log")), 0);
    write_string(0, "ab");
    const auto calls = file_write_calls();
    write_string(0, std::string(4096, 'x'));
    EXPECT_EQ(file_write_calls(), calls + 2);  // the buffered "ab", then the piece itself
    EXPECT_EQ(file_size(path("log")), 4098);
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(file_write_calls(), calls + 2);  // nothing left to flush
}

TEST_F(FileLayer, ManySmallPiecesTakeOneSystemWrite) {
    ASSERT_NE(create_file(0, path("log")), 0);
    const auto calls = file_write_calls();
    for (int i = 0; i < 466; ++i) write_string(0, "1234567");
    write_line(0, "");
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(file_write_calls(), calls + 1);
    EXPECT_EQ(file_size(path("log")), 466 * 7 + 2);
}

TEST_F(FileLayer, SeekWritesBufferedBytesAtTheOldPosition) {
    ASSERT_NE(create_file(0, path("log")), 0);
    write_string(0, "hello world");
    EXPECT_EQ(file_seek(0, 0), 0);
    EXPECT_EQ(file_size(path("log")), 11);
    write_string(0, "J");
    EXPECT_EQ(file_seek(0, 11), 11);
    write_line(0, "!");
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(read_file_bytes(path("log")), "Jello world!\r\n");
}

TEST_F(FileLayer, SeekReturnsTheLow32BitsOfThePosition) {
    ASSERT_NE(open_file(0, path("log")), 0);
    EXPECT_EQ(file_seek(0, (std::int64_t{1} << 32) + 3), 3);
    EXPECT_EQ(file_seek(0, -1), -1);
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(file_size(path("log")), 0);
}

TEST_F(FileLayer, OpenWithoutSeekOverwritesTheStart) {
    write_file_bytes(path("log"), "0123456789");
    ASSERT_NE(open_file(0, path("log")), 0);
    write_string(0, "ab");
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(read_file_bytes(path("log")), "ab23456789");
}

TEST_F(FileLayer, OpenAndCloseWithoutWritesChangeNothingButCreateEmpties) {
    write_file_bytes(path("kept"), "data");
    write_file_bytes(path("emptied"), "data");
    ASSERT_NE(open_file(0, path("kept")), 0);
    EXPECT_EQ(close_file(0), 1);
    ASSERT_NE(create_file(0, path("emptied")), 0);
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(read_file_bytes(path("kept")), "data");
    EXPECT_EQ(file_size(path("emptied")), 0);
}

TEST_F(FileLayer, ReopeningAnOpenNumberWritesOutTheOldFileFirst) {
    ASSERT_NE(create_file(0, path("first")), 0);
    write_string(0, "old");
    ASSERT_NE(create_file(0, path("second")), 0);
    EXPECT_EQ(read_file_bytes(path("first")), "old");
    write_string(0, "new");
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(read_file_bytes(path("second")), "new");
}

TEST_F(FileLayer, FailedReopenLeavesTheOldFileOpen) {
    fs::create_directory(path("sub"));
    ASSERT_NE(create_file(0, path("log")), 0);
    write_string(0, "x");
    EXPECT_EQ(open_file(0, path("sub")), 0);
    EXPECT_EQ(create_file(0, path("sub")), 0);
    EXPECT_EQ(open_file(0, path("missing-dir/log")), 0);
    write_string(0, "y");
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(read_file_bytes(path("log")), "xy");
}

TEST_F(FileLayer, OperationsOnANumberNotOpenDoNothing) {
    const auto calls = file_write_calls();
    for (const int number : {0, 5, 40, 100000, -1, -7}) {
        EXPECT_EQ(file_seek(number, 10), 0);
        EXPECT_EQ(write_string(number, "x"), 0);
        EXPECT_EQ(write_line(number, "x"), 0);
        EXPECT_EQ(close_file(number), 0);
    }
    EXPECT_EQ(open_file(-1, path("log")), 0);
    EXPECT_FALSE(fs::exists(path("log")));
    EXPECT_EQ(file_write_calls(), calls);
}

TEST_F(FileLayer, NumbersBeyondTheFirstSlotsAndCloseAll) {
    ASSERT_NE(create_file(40, path("forty")), 0);
    ASSERT_NE(create_file(3, path("three")), 0);
    write_string(40, "40");
    write_string(3, "3");
    close_all_files();
    EXPECT_EQ(read_file_bytes(path("forty")), "40");
    EXPECT_EQ(read_file_bytes(path("three")), "3");
    EXPECT_EQ(close_file(40), 0);
}

TEST_F(FileLayer, TruncateTakesBackTheTailOfTheOpenFile) {
    write_file_bytes(path("log"), "line1\r\n");
    ASSERT_NE(open_file(0, path("log")), 0);
    EXPECT_EQ(open_file_size(0), 7);
    file_seek(0, 7);
    write_string(0, "half");  // still in the buffer: the cut writes it out first
    EXPECT_EQ(truncate_open_file(0, 7), 1);
    EXPECT_EQ(flush_file(0), 1);
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(read_file_bytes(path("log")), "line1\r\n");
    EXPECT_EQ(truncate_open_file(0, 0), 0);
    EXPECT_EQ(open_file_size(0), -1);
}

// A file size limit makes the write fail part way through a piece. The child reports through its
// exit status: 0 when close_file admitted the failure.
TEST_F(FileLayer, FailedWriteKeepsEarlierBytesAndCloseReportsIt) {
    const std::string log = path("log");
    const int status = run_in_limited_child(10, [&log] {
        if (create_file(0, log) == 0) return 3;
        write_line(0, "first");
        file_seek(0, 7);
        write_string(0, std::string(5000, 'x'));
        write_line(0, "more");
        return close_file(0) == 0 ? 0 : 1;
    });
    if (status == no_limited_child) GTEST_SKIP() << "no child process with a file size limit here";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file_bytes(log), "first\r\nxxx");
}

}  // namespace
