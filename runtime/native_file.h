// The system file calls that the numbered file layer is built on: one twin per platform. Names
// are byte strings passed to the system as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// An open file of the system (a descriptor on POSIX, a HANDLE on Windows).
struct NativeFile {
    std::intptr_t value = -1;  // -1: none

    bool present() const { return value != -1; }
};

// Opens for reading and writing, creating the file when missing; others may read it meanwhile.
NativeFile native_open_always(const std::string& name);

// Opens for writing, truncated to 0 bytes, creating it when missing.
NativeFile native_create_always(const std::string& name);

// One system write: the bytes written (possibly fewer than n), or -1 when it failed.
std::int64_t native_write(NativeFile file, const char* bytes, std::size_t n);

// Moves to position bytes from the start: the new position, or -1.
std::int64_t native_seek(NativeFile file, std::int64_t position);

// True when the file was closed cleanly.
bool native_close(NativeFile file);

// Size in bytes; -1 when nothing of that name exists; -2 for a directory.
std::int64_t native_file_size(const std::string& name);

// Size in bytes of the open file; -1 when it cannot be had.
std::int64_t native_open_file_size(NativeFile file);

// Cuts the open file back to size bytes; its position stays where it was. True on success.
bool native_truncate(NativeFile file, std::int64_t size);

// Puts the file `from` in the place of `to` in one step: a reader of `to` sees the old file or the
// new one, never a part. Both names must be on the same file system. True on success.
bool native_replace_file(const std::string& from, const std::string& to);

// Removes the file; true when it is gone.
bool native_remove_file(const std::string& name);
