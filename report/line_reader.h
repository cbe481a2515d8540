// Reads a log line by line in big blocks, with standard C file reading, so logs of any size pass
// through a fixed buffer. The log is opened for reading only; the program may append meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

enum class LineEnd {
    line_feed,  // ended by LF (the CR before it, if any, is not part of the line)
    none,       // the last bytes of the file, with no line end yet: a line still being written
    too_long,   // a line longer than the buffer: only its start is given, the rest is passed over
};

class LineReader {
  public:
    // `bytes_read`, when given, grows by every block read (for the progress display).
    explicit LineReader(const std::string& path, std::atomic<std::int64_t>* bytes_read = nullptr);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool is_open() const { return file_ != nullptr; }
    // The next line, valid until the next call; false at the end of the file.
    bool next(std::string_view& line, LineEnd& end);
    // Where the line that next gave last starts in the file.
    std::int64_t line_offset() const { return line_offset_; }
    // Where the line after it starts (the end of the file, after the last line).
    std::int64_t offset() const { return buffer_offset_ + static_cast<std::int64_t>(begin_); }

    // Goes on with the first line that starts at or after `offset`, passing over the rest of the
    // line that holds the byte before it; bytes before `offset` are not counted in bytes_read.
    void start_at_line(std::int64_t offset);
    // Counts in bytes_read only the bytes before `offset`, which another reader counts from there.
    void count_bytes_before(std::int64_t offset);

  private:
    bool refill();
    void seek(std::int64_t offset);

    std::FILE* file_ = nullptr;
    std::atomic<std::int64_t>* bytes_read_;
    std::int64_t counted_to_ = 0;  // the bytes before it are counted, or are not to be
    std::int64_t count_until_ = INT64_MAX;
    std::vector<char> buffer_;
    std::int64_t buffer_offset_ = 0;  // of the buffer's first byte in the file
    std::int64_t line_offset_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool at_eof_ = false;
    bool passing_over_ = false;  // inside the rest of a line that was too long
};

// The last `tail_bytes` of the file up to its last line feed (a line still being written left
// out), so the last lines can be read without reading the whole log; empty when there is none.
std::string log_tail(const std::string& path, std::size_t tail_bytes = 65536);
