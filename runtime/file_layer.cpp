// The numbered file layer, with one 4096-byte write buffer per file, on the system's file calls.
#include "runtime/file_layer.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "runtime/native_file.h"

namespace {

constexpr std::int32_t file_buffer_bytes = 4096;
constexpr std::size_t table_growth_slots = 16;

struct FileRecord {
    NativeFile file;
    std::unique_ptr<char[]> buffer;  // null when it could not be had: every write goes to the file
    std::int32_t buffer_size = file_buffer_bytes;
    std::int32_t free_count = 0;
    std::int32_t reset = 1;  // 1: the buffer is not in use
    bool write_failed = false;
};

std::mutex table_lock;
std::vector<std::unique_ptr<FileRecord>> file_table(table_growth_slots);
std::atomic<std::int64_t> write_calls{0};

// A text's bytes are those before its first zero byte.
std::string_view as_text(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

// The record of an open number, or null. The lock only guards the table against growing under
// the look-up; the record itself belongs to the one thread that uses the number.
FileRecord* open_record(int number) {
    if (number < 0) return nullptr;
    const std::lock_guard hold(table_lock);
    const auto slot = static_cast<std::size_t>(number);
    return slot < file_table.size() ? file_table[slot].get() : nullptr;
}

// Writes all n bytes, going on after partial writes. A failure is remembered in the record for
// close_file; the bytes already in the file stay as they are.
void write_out(FileRecord& record, const char* bytes, std::size_t n) {
    while (n > 0) {
        ++write_calls;
        const std::int64_t written = native_write(record.file, bytes, n);
        if (written <= 0) {
            record.write_failed = true;
            return;
        }
        bytes += written;
        n -= static_cast<std::size_t>(written);
    }
}

void flush(FileRecord& record) {
    if (!record.buffer || record.reset == 1) return;
    const std::int32_t in_use = record.buffer_size - record.free_count;
    if (in_use > 0) write_out(record, record.buffer.get(), static_cast<std::size_t>(in_use));
    record.free_count = record.buffer_size;
}

void write_bytes(FileRecord& record, std::string_view bytes) {
    if (bytes.empty()) return;
    if (!record.buffer) {
        write_out(record, bytes.data(), bytes.size());
        return;
    }
    if (record.reset == 1) {
        record.reset = 0;
        record.free_count = record.buffer_size;
    }
    if (static_cast<std::size_t>(record.free_count) > bytes.size()) {
        std::memcpy(record.buffer.get() + (record.buffer_size - record.free_count), bytes.data(),
                    bytes.size());
        record.free_count -= static_cast<std::int32_t>(bytes.size());
        return;
    }
    flush(record);
    if (bytes.size() >= static_cast<std::size_t>(record.buffer_size)) {
        write_out(record, bytes.data(), bytes.size());
        return;
    }
    std::memcpy(record.buffer.get(), bytes.data(), bytes.size());
    record.free_count = record.buffer_size - static_cast<std::int32_t>(bytes.size());
}

// Flushes and closes; 1 when every write of the file reached the disk in full.
int finish(std::unique_ptr<FileRecord> record) {
    flush(*record);
    const bool closed = native_close(record->file);
    return closed && !record->write_failed ? 1 : 0;
}

// Puts a freshly opened file under number, closing a file already open there.
int install(int number, NativeFile file) {
    if (!file.present()) return 0;
    auto record = std::make_unique<FileRecord>();
    record->file = file;
    record->buffer.reset(new (std::nothrow) char[file_buffer_bytes]);
    const std::lock_guard hold(table_lock);
    const auto slot = static_cast<std::size_t>(number);
    if (slot >= file_table.size()) {
        try {
            file_table.resize((slot / table_growth_slots + 1) * table_growth_slots);
        } catch (const std::bad_alloc&) {
            native_close(file);
            return 0;
        }
    }
    std::unique_ptr<FileRecord> old = std::move(file_table[slot]);
    file_table[slot] = std::move(record);
    if (old) finish(std::move(old));
    return 1;
}

}  // namespace

std::int64_t file_size(std::string_view name) {
    const std::string path(as_text(name));
    return path.empty() ? -1 : native_file_size(path);
}

int open_file(int number, std::string_view name) {
    return number < 0 ? 0 : install(number, native_open_always(std::string(as_text(name))));
}

int create_file(int number, std::string_view name) {
    return number < 0 ? 0 : install(number, native_create_always(std::string(as_text(name))));
}

std::int32_t file_seek(int number, std::int64_t position) {
    FileRecord* const record = open_record(number);
    if (!record) return 0;
    flush(*record);
    record->free_count = 0;
    record->reset = 1;
    const std::int64_t moved = native_seek(record->file, position);
    if (moved < 0) return -1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(moved)));
}

std::int32_t write_string(int number, std::string_view text) {
    FileRecord* const record = open_record(number);
    if (!record) return 0;
    text = as_text(text);
    write_bytes(*record, text);
    return static_cast<std::int32_t>(text.size());
}

std::int32_t write_line(int number, std::string_view text) {
    FileRecord* const record = open_record(number);
    if (!record) return 0;
    text = as_text(text);
    write_bytes(*record, text);
    write_bytes(*record, "\r\n");
    return static_cast<std::int32_t>(text.size() + 2);
}

int close_file(int number) {
    if (number < 0) return 0;
    std::unique_ptr<FileRecord> record;
    {
        const std::lock_guard hold(table_lock);
        const auto slot = static_cast<std::size_t>(number);
        if (slot >= file_table.size() || !file_table[slot]) return 0;
        record = std::move(file_table[slot]);
    }
    return finish(std::move(record));
}

std::int64_t open_file_size(int number) {
    FileRecord* const record = open_record(number);
    return record ? native_open_file_size(record->file) : -1;
}

int flush_file(int number) {
    FileRecord* const record = open_record(number);
    if (!record) return 0;
    flush(*record);
    return record->write_failed ? 0 : 1;
}

int truncate_open_file(int number, std::int64_t size) {
    FileRecord* const record = open_record(number);
    if (!record || size < 0) return 0;
    flush(*record);
    return native_truncate(record->file, size) ? 1 : 0;
}

void close_all_files() {
    const std::lock_guard hold(table_lock);
    for (auto& slot : file_table) {
        if (slot) finish(std::move(slot));
    }
}

std::int64_t file_write_calls() {
    return write_calls.load();
}
