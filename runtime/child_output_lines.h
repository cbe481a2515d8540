// The child's output cut into lines, shared by the POSIX and Win32 runners: bytes come in as the
// pipe gives them, whole lines go out without their line end (LF or CR LF), a line longer than
// max_child_line_bytes comes out in pieces of that size, and the last line without a line end
// comes out at the end.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

inline constexpr std::size_t max_child_line_bytes = 4096;

class ChildOutputLines {
  public:
    explicit ChildOutputLines(const std::function<void(std::string_view line)>& on_line)
        : on_line_(on_line) {}

    void add(const char* bytes, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            if (bytes[i] == '\n') {
                // A line end right after a cut piece ends that line, not one more empty one.
                if (!(cut_ && pending_.empty())) give(true);
                cut_ = false;
                continue;
            }
            pending_ += bytes[i];
            cut_ = false;
            if (pending_.size() >= max_child_line_bytes) {
                give(false);
                cut_ = true;
            }
        }
    }

    // The output has ended: gives a last line that had no line end.
    void finish() {
        if (!pending_.empty()) give(true);
    }

  private:
    void give(bool line_end) {
        std::string_view line = pending_;
        if (line_end && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (on_line_) on_line_(line);
        pending_.clear();
    }

    const std::function<void(std::string_view line)>& on_line_;
    std::string pending_;
    bool cut_ = false;  // the last piece given was cut at max_child_line_bytes
};
