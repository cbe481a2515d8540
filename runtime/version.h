// The program's version, set in one place: the project's version in the top CMakeLists.txt.
#pragma once

#include <string_view>

// "4.4" and the like; what every program's --version prints after its name.
std::string_view program_version();
