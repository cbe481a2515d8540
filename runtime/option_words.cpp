// Command-line words the option parser would misread.
#include "runtime/option_words.h"

std::string_view option_without_value(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--") break;
        if (word.size() > 3 && word.starts_with("--") && word.ends_with('=') &&
            word.find('=') == word.size() - 1)
            return word;
    }
    return {};
}
