// The dialog of a router family that is answered by its prompts: the user name at the family's
// login prompt, the password at "Password:", then each command once the router's prompt has come
// back, each reply read whole however many reads it takes, then "exit".
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "routers/router_family.h"
#include "runtime/handles.h"

enum class PromptDialogEnd {
    done,     // every command was answered; "exit" was sent
    closed,   // the router hung up
    silent,   // the router sent nothing for the silence limit, or more than reply_limit_bytes
    refused,  // the router asked for the user name or password again, or said the login failed
    stopped,  // a stop was requested for the calling thread
};

// More than this before a prompt ends the cycle as a silent router does: no router's reply is that
// long (a 4096-tone table is about 60 KB), so it is a router that prints without end.
inline constexpr std::size_t reply_limit_bytes = 4 * 1024 * 1024;

struct PromptDialogScript {
    const RouterFamily* family = nullptr;
    std::span<const std::size_t> commands;  // indices into family->commands, in the order sent
    std::string_view user;
    std::string_view password;
    std::uint32_t silence_limit_ms = 30000;
};

// Plays the script on connection. replies[k] gets the reply to commands[k] (the text between the
// echoed command line and the prompt, line ends as the router sent them) for every command that
// was answered; the vector holds that many replies, so on a dialog that did not end in `done`
// only the first ones are there.
PromptDialogEnd run_prompt_dialog(Connection* connection, const PromptDialogScript& script,
                                  std::vector<std::string>& replies);

// The router's prompt at the end of text, when it ends with one: the text after the last line end,
// provided it is not empty and ends with '>', '#', '$' or '%', perhaps followed by blanks. ""
// otherwise. Exposed for testing.
std::string_view trailing_prompt(std::string_view text);

// The reply to `command` in text, which ends with `prompt`: the text after the line that echoes
// the command (when the router echoed it) up to the prompt. Exposed for testing.
std::string_view reply_between(std::string_view text, std::string_view command,
                               std::string_view prompt);
