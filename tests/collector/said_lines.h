// The lines that the collector's helper threads say, kept for a test to wait for: EventSay and
// ReportSay are plain functions, so the record is one per kind and process.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class SaidLines {
  public:
    void add(std::string_view line) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.emplace_back(line);
        }
        changed_.notify_all();
    }

    // Waits (at most a generous limit, for a slow machine or Wine) until `count` lines were said;
    // gives those said by then.
    std::vector<std::string> wait_for(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(60), [&] { return lines_.size() >= count; });
        return lines_;
    }

    std::vector<std::string> now() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};
