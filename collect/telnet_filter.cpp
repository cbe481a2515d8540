// The telnet filter: a byte-at-a-time reading of the command sequences of RFC 854, refusing every
// option (RFC 1143's rule that a refusal is never repeated keeps both sides out of a loop).
#include "collect/telnet_filter.h"

namespace {

constexpr unsigned char iac = 255;
constexpr unsigned char dont = 254;
constexpr unsigned char do_option = 253;
constexpr unsigned char wont = 252;
constexpr unsigned char will = 251;
constexpr unsigned char sb = 250;
constexpr unsigned char se = 240;

void refuse(std::bitset<256>& answered, unsigned char answer, unsigned char option,
            std::string& answers) {
    if (answered.test(option)) return;
    answered.set(option);
    answers.push_back(static_cast<char>(iac));
    answers.push_back(static_cast<char>(answer));
    answers.push_back(static_cast<char>(option));
}

}  // namespace

void filter_telnet(TelnetFilter& filter, std::string_view input, std::string& text,
                   std::string& answers) {
    using State = TelnetFilter::State;
    for (const char c : input) {
        const auto byte = static_cast<unsigned char>(c);
        switch (filter.state) {
            case State::text:
                if (byte == iac) {
                    filter.state = State::command;
                } else if (!(byte == 0 && filter.after_cr)) {
                    text.push_back(c);
                }
                filter.after_cr = byte == '\r';
                break;
            case State::command:
                if (byte == iac) {
                    text.push_back(c);
                    filter.after_cr = false;
                    filter.state = State::text;
                } else if (byte >= will && byte <= dont) {
                    filter.verb = byte;
                    filter.state = State::option;
                } else if (byte == sb) {
                    filter.state = State::subnegotiation;
                } else {
                    filter.state = State::text;  // NOP, GA, AYT ...: nothing for the text
                }
                break;
            case State::option:
                if (filter.verb == will) refuse(filter.refused_will, dont, byte, answers);
                if (filter.verb == do_option) refuse(filter.refused_do, wont, byte, answers);
                // WONT and DONT ask for what is already so: no answer.
                filter.state = State::text;
                break;
            case State::subnegotiation:
                if (byte == iac) filter.state = State::subnegotiation_command;
                break;
            case State::subnegotiation_command:
                filter.state = byte == se ? State::text : State::subnegotiation;
                break;
        }
    }
}
