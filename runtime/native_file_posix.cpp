// The file layer's system calls on POSIX file descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "runtime/native_file.h"

namespace {

int descriptor_of(NativeFile file) {
    return static_cast<int>(file.value);
}

NativeFile open_with(const std::string& name, int flags) {
    int fd;
    do {
        // Non-blocking so that a FIFO of the log's name fails at once instead of holding the
        // worker; on regular files the flag changes nothing.
        fd = open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0644);
    } while (fd < 0 && errno == EINTR);
    return NativeFile{fd};
}

}  // namespace

NativeFile native_open_always(const std::string& name) {
    return open_with(name, O_RDWR | O_CREAT);
}

NativeFile native_create_always(const std::string& name) {
    const NativeFile file = open_with(name, O_WRONLY | O_CREAT | O_TRUNC);
    return file.present() ? file : open_with(name, O_WRONLY | O_TRUNC);
}

std::int64_t native_write(NativeFile file, const char* bytes, std::size_t n) {
    for (;;) {
        const ssize_t written = write(descriptor_of(file), bytes, n);
        if (written >= 0 || errno != EINTR) return written;
    }
}

std::int64_t native_seek(NativeFile file, std::int64_t position) {
    return lseek(descriptor_of(file), static_cast<off_t>(position), SEEK_SET);
}

bool native_close(NativeFile file) {
    // Linux releases the descriptor even when close is interrupted.
    return close(descriptor_of(file)) == 0 || errno == EINTR;
}

std::int64_t native_file_size(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) != 0) return -1;
    if (S_ISDIR(info.st_mode)) return -2;
    return static_cast<std::int64_t>(info.st_size);
}

std::int64_t native_open_file_size(NativeFile file) {
    struct stat info {};
    if (fstat(descriptor_of(file), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool native_truncate(NativeFile file, std::int64_t size) {
    int result;
    do {
        result = ftruncate(descriptor_of(file), static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool native_replace_file(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool native_remove_file(const std::string& name) {
    return unlink(name.c_str()) == 0 || errno == ENOENT;
}
