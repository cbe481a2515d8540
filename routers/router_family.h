// What a router family is to the collector: how its dialog goes (the login prompt it answers with
// the user name, the commands of a cycle) and how its replies become the line record. A family is
// one file pair in this folder that defines one of these; router_families.cpp lists them.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "stats/line_record.h"

struct FamilyCommand {
    std::string_view line;  // what is sent, without its line end
    // Sent in the first cycle and then in the first cycle of every later hour only (a long table
    // the line's figures need no more often).
    bool hourly = false;
    // Reads the reply to this command into record. Called once per command sent, in order, on a
    // record that starts empty each cycle; a reply is the text between the echoed command line
    // and the prompt, and may be cut short or hold anything.
    void (*read_reply)(std::string_view reply, LineRecord& record) = nullptr;
};

struct RouterFamily {
    std::string_view name;     // the word of --router: "classic", "broadcom", "draytek"
    std::string_view devices;  // which devices it fits, for --help
    // The prompt that asks for the user name ("Login:", "Account:"), matched without regard to
    // case at the end of what the router sent. Empty for a family whose dialog answers chunks by
    // count (the classic one), which the worker plays without any of what follows.
    std::string_view user_prompt;
    std::span<const FamilyCommand> commands;
};
