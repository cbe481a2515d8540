// A child process whose files may not grow past a limit, so that a write fails part way as on a
// full disk. Only POSIX has both fork and a file size limit.
#pragma once

#include <cstdint>
#include <functional>

inline constexpr int no_limited_child = -1;

// Runs body in a child whose files may not grow past limit_bytes: the child's exit status (body's
// result), 2 when the limit could not be set, or no_limited_child where no such child can be had.
int run_in_limited_child(std::int64_t limit_bytes, const std::function<int()>& body);
