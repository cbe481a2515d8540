// Reads a log line by line in big blocks.
#include "report/line_reader.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "report/file_offset.h"

namespace {

// Big enough that one read call serves thousands of lines; also the longest line kept whole.
constexpr std::size_t block_bytes = 1 << 20;

std::string_view without_cr(const char* start, std::size_t length) {
    if (length > 0 && start[length - 1] == '\r') --length;
    return {start, length};
}

}  // namespace

LineReader::LineReader(const std::string& path, std::atomic<std::int64_t>* bytes_read)
    : file_(std::fopen(path.c_str(), "rb")), bytes_read_(bytes_read), buffer_(block_bytes) {}

LineReader::~LineReader() {
    if (file_ != nullptr) std::fclose(file_);
}

bool LineReader::refill() {
    if (at_eof_ || file_ == nullptr) return false;
    if (begin_ > 0) {
        buffer_offset_ += static_cast<std::int64_t>(begin_);
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const std::int64_t at = buffer_offset_ + static_cast<std::int64_t>(end_);
    const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    // Each byte counted once, also when a seek reads some again.
    const std::int64_t count_from = std::max(at, counted_to_);
    const std::int64_t count_to = std::min(at + static_cast<std::int64_t>(got), count_until_);
    if (count_to > count_from) {
        if (bytes_read_ != nullptr) bytes_read_->fetch_add(count_to - count_from);
        counted_to_ = count_to;
    }
    if (got == 0) at_eof_ = true;
    end_ += got;
    return got > 0;
}

void LineReader::seek(std::int64_t offset) {
    passing_over_ = false;
    const std::int64_t in_buffer = offset - buffer_offset_;
    if (in_buffer >= 0 && in_buffer <= static_cast<std::int64_t>(end_)) {
        begin_ = static_cast<std::size_t>(in_buffer);
        return;
    }
    buffer_offset_ = offset;
    begin_ = end_ = 0;
    at_eof_ = file_ == nullptr || !seek_file(file_, offset);
}

void LineReader::start_at_line(std::int64_t offset) {
    counted_to_ = std::max(counted_to_, offset);
    if (offset <= 0) {
        seek(0);
        return;
    }
    seek(offset - 1);
    passing_over_ = true;  // up to and with the next line feed, which may be that byte
}

void LineReader::count_bytes_before(std::int64_t offset) {
    count_until_ = offset;
    if (counted_to_ <= offset) return;
    if (bytes_read_ != nullptr) bytes_read_->fetch_sub(counted_to_ - offset);  // read ahead
    counted_to_ = offset;
}

bool LineReader::next(std::string_view& line, LineEnd& end) {
    for (;;) {
        const char* start = buffer_.data() + begin_;
        const void* feed = std::memchr(start, '\n', end_ - begin_);
        if (feed != nullptr) {
            const auto length = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
            begin_ += length + 1;
            if (passing_over_) {
                passing_over_ = false;
                continue;
            }
            line = without_cr(start, length);
            line_offset_ = buffer_offset_ + (start - buffer_.data());
            end = LineEnd::line_feed;
            return true;
        }
        if (end_ - begin_ == buffer_.size()) {  // a whole block without a line feed
            const bool first_part = !passing_over_;
            line = std::string_view(start, std::min<std::size_t>(end_ - begin_, 64));
            line_offset_ = buffer_offset_ + (start - buffer_.data());
            buffer_offset_ += static_cast<std::int64_t>(end_);
            begin_ = end_ = 0;
            passing_over_ = true;
            if (first_part) {
                end = LineEnd::too_long;
                return true;
            }
            continue;
        }
        if (refill()) continue;
        // At the end of the file (refill may have moved the rest to the buffer's start).
        if (begin_ == end_ || passing_over_) return false;
        line = std::string_view(buffer_.data() + begin_, end_ - begin_);
        line_offset_ = buffer_offset_ + static_cast<std::int64_t>(begin_);
        begin_ = end_;
        end = LineEnd::none;
        return true;
    }
}

std::string log_tail(const std::string& path, std::size_t tail_bytes) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return {};
    const std::streamoff size = file.tellg();
    const std::streamoff from = size > static_cast<std::streamoff>(tail_bytes)
                                    ? size - static_cast<std::streamoff>(tail_bytes)
                                    : 0;
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    file.seekg(from);
    file.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    tail.resize(static_cast<std::size_t>(file.gcount()));
    const std::size_t last_feed = tail.rfind('\n');
    tail.resize(last_feed == std::string::npos ? 0 : last_feed + 1);
    return tail;
}
