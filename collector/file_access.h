// Who may read a file, where the system says so.
#pragma once

#include <string>

// Whether every user of the machine may read the file at path (POSIX: the mode's "others" read
// bit). Always false on Windows, where the mode says nothing of it, and for a file that cannot be
// examined.
bool readable_by_others(const std::string& path);
