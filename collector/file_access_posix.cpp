// Who may read a file: its mode bits.
#include <sys/stat.h>

#include "collector/file_access.h"

bool readable_by_others(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    return (status.st_mode & S_IROTH) != 0;
}
