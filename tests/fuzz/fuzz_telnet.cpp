// Feeds arbitrary bytes to the telnet filter, whole and split at a point the input chooses: no
// input may crash, and the split must not change the text or the answers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "collect/telnet_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t split = data[0] % (input.size() + 1);
    TelnetFilter whole, parts;
    std::string whole_text, whole_answers, parts_text, parts_answers;
    filter_telnet(whole, input, whole_text, whole_answers);
    filter_telnet(parts, input.substr(0, split), parts_text, parts_answers);
    filter_telnet(parts, input.substr(split), parts_text, parts_answers);
    if (whole_text != parts_text || whole_answers != parts_answers) std::abort();
    // Every option is answered at most once: three bytes for each of at most 512 refusals.
    if (whole_answers.size() > 3 * 512 || whole_text.size() > input.size()) std::abort();
    return 0;
}
