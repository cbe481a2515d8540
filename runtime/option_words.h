// A check of command-line words that the option parser leaves to its caller.
#pragma once

#include <string_view>

// The first word of the form "--name=" with nothing after the "=" (before a lone "--"), or ""
// when there is none. The option parser would take the word after it as the value, so
// "--metrics= --once" would name a file "--once" and drop --once; the programs refuse it instead.
std::string_view option_without_value(int argc, const char* const argv[]);
