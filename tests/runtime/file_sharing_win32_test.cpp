// The file layer's sharing on Windows: others may read an open log but not write it, and a log
// another program holds without sharing cannot be opened or created until it is released.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "harness/temp_dir.h"
#include "runtime/file_layer.h"
#include "tests/support/file_bytes.h"

namespace {

HANDLE open_other(const std::string& name, DWORD access, DWORD share) {
    return CreateFileA(name.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

class FileSharing : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
    void TearDown() override { close_all_files(); }
    std::string path(const char* name) const {
        return (std::filesystem::path(dir_.path()) / name).string();
    }

    TempDir dir_{"kelva-sharing-"};
};

TEST_F(FileSharing, ALogHeldWithoutSharingCannotBeOpenedOrCreatedUntilReleased) {
    const std::string log = path("log");
    write_file_bytes(log, "kept\r\n");
    const HANDLE held = open_other(log, GENERIC_READ, 0);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_file(0, log), 0);
    EXPECT_EQ(create_file(0, log), 0);
    EXPECT_EQ(file_size(log), 6) << "its size can still be read";
    CloseHandle(held);

    ASSERT_NE(open_file(0, log), 0);
    file_seek(0, file_size(log));
    write_line(0, "added");
    EXPECT_EQ(close_file(0), 1);
    EXPECT_EQ(read_file_bytes(log), "kept\r\nadded\r\n");
}

TEST_F(FileSharing, OthersMayReadAnOpenLogButNotWriteIt) {
    const std::string log = path("log");
    ASSERT_NE(create_file(0, log), 0);
    const HANDLE reader = open_other(log, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    const HANDLE writer = open_other(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
}

}  // namespace
