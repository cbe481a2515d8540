// The file layer's system calls on Win32 file handles, with the A (code-page) functions so a name's
// bytes reach the system unchanged. Others may read a log while it is open, never write it; a log
// that another program holds open without sharing fails to open, like a read-only one.
#include <windows.h>

#include <algorithm>
#include <limits>

#include "runtime/native_file.h"

namespace {

HANDLE handle_of(NativeFile file) {
    return reinterpret_cast<HANDLE>(file.value);
}

NativeFile from_handle(HANDLE handle) {
    return NativeFile{handle == INVALID_HANDLE_VALUE ? -1
                                                     : reinterpret_cast<std::intptr_t>(handle)};
}

}  // namespace

NativeFile native_open_always(const std::string& name) {
    return from_handle(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

NativeFile native_create_always(const std::string& name) {
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    // CREATE_ALWAYS fails on a hidden or system file whose attributes it would have to change.
    if (handle == INVALID_HANDLE_VALUE) {
        handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             TRUNCATE_EXISTING, 0, nullptr);
    }
    return from_handle(handle);
}

std::int64_t native_write(NativeFile file, const char* bytes, std::size_t n) {
    // WriteFile takes at most 4 GiB at once; the caller goes on after a partial write.
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(n, std::numeric_limits<DWORD>::max()));
    DWORD written = 0;
    if (!WriteFile(handle_of(file), bytes, chunk, &written, nullptr)) return -1;
    return written;
}

std::int64_t native_seek(NativeFile file, std::int64_t position) {
    LARGE_INTEGER distance{};
    distance.QuadPart = position;
    LARGE_INTEGER moved{};
    if (!SetFilePointerEx(handle_of(file), distance, &moved, FILE_BEGIN)) return -1;
    return moved.QuadPart;
}

bool native_close(NativeFile file) {
    return CloseHandle(handle_of(file)) != 0;
}

std::int64_t native_file_size(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -2;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                     data.nFileSizeLow);
}

std::int64_t native_open_file_size(NativeFile file) {
    LARGE_INTEGER size{};
    return GetFileSizeEx(handle_of(file), &size) ? size.QuadPart : -1;
}

bool native_truncate(NativeFile file, std::int64_t size) {
    // SetEndOfFile cuts at the position: go there, cut, and come back as ftruncate would leave it.
    const HANDLE handle = handle_of(file);
    LARGE_INTEGER here{};
    LARGE_INTEGER end{};
    end.QuadPart = size;
    if (!SetFilePointerEx(handle, LARGE_INTEGER{}, &here, FILE_CURRENT)) return false;
    const bool cut = SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
    SetFilePointerEx(handle, here, nullptr, FILE_BEGIN);
    return cut;
}

bool native_replace_file(const std::string& from, const std::string& to) {
    // A reader that holds `to` open without delete sharing (an exporter reading it) makes the
    // replace fail for as long as it reads, a millisecond or so: a few short retries ride it out.
    constexpr int attempts = 5;
    constexpr DWORD retry_pause_ms = 10;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        const DWORD error = GetLastError();
        if (attempt == attempts ||
            (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
            return false;
        }
        Sleep(retry_pause_ms);
    }
}

bool native_remove_file(const std::string& name) {
    return DeleteFileA(name.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}
