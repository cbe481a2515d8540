// A fresh directory for a test's or a benchmark's files, gone with all it holds when the object
// goes; it can be made the working directory meanwhile, so the logs land in it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Made as <system temporary directory>/<prefix>XXXXXX.
class TempDir {
  public:
    explicit TempDir(std::string_view prefix);
    ~TempDir();  // leaves it if entered, then removes it
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }  // empty when it could not be made
    // Makes it the working directory; false when it was not made or cannot be entered.
    bool enter();
    // Back to the working directory before enter(); false when that fails.
    bool leave();

  private:
    std::string path_;
    std::filesystem::path previous_;
};
