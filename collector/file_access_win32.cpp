// Who may read a file: Windows keeps it in the file's access list, not in a mode, and a user's
// files are kept from other users by their folders' lists; nothing to say here.
#include "collector/file_access.h"

bool readable_by_others(const std::string&) {
    return false;
}
