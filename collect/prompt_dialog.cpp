// The prompt-driven dialog: every wait is on the socket with a stop-wakeable wait, so a long
// reply costs no pass pauses, a stop ends it at once, and a silent router ends it after the limit.
#include "collect/prompt_dialog.h"

#include <array>
#include <chrono>

#include "collect/network.h"
#include "collect/router_dialog.h"
#include "collect/telnet_filter.h"
#include "runtime/text.h"

namespace {

using Clock = std::chrono::steady_clock;

// One read takes at most this much; a 60 KB table takes a few.
constexpr std::size_t read_bytes = 16384;
constexpr std::string_view line_end = "\r\n";
constexpr std::string_view password_prompt = "password:";
// What other firmware of the same families asks for the user name with, besides the family's own.
constexpr std::array<std::string_view, 4> user_prompts = {
    "login:", "username:", "user:", "account:"};

// Whether text, less the blanks at its end, ends with word in any case.
bool ends_with_word(std::string_view text, std::string_view word) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text.size() >= word.size() &&
           equals_ignoring_case(text.substr(text.size() - word.size()), word);
}

class Session {
  public:
    Session(Connection* connection, std::uint32_t silence_limit_ms)
        : connection_(connection), silence_limit_(silence_limit_ms) {
        buffer_.resize(read_bytes);
    }

    // What has arrived since the last clear, negotiation taken out.
    const std::string& text() const { return text_; }
    void clear() { text_.clear(); }

    bool send_line(std::string_view line) {
        std::string bytes(line);
        bytes.append(line_end);
        return send_bytes(connection_, bytes.data(), bytes.size()) ==
               static_cast<std::int32_t>(bytes.size());
    }

    // Reads until `ready` holds for the text, the router goes silent or away, or a stop comes.
    // done means ready holds.
    template <typename Ready>
    PromptDialogEnd read_until(Ready ready) {
        Clock::time_point last_bytes = Clock::now();
        while (!ready(std::string_view(text_))) {
            if (text_.size() > reply_limit_bytes) return PromptDialogEnd::silent;
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_bytes);
            if (waited.count() >= silence_limit_) return PromptDialogEnd::silent;
            const auto left = static_cast<std::uint32_t>(silence_limit_ - waited.count());
            switch (wait_readable(connection_, left)) {
                case ReadWait::stopped:
                    return PromptDialogEnd::stopped;
                case ReadWait::failed:
                    return PromptDialogEnd::closed;
                case ReadWait::timed_out:
                    continue;
                case ReadWait::readable:
                    break;
            }
            const std::int32_t count =
                receive_bytes(connection_, reinterpret_cast<unsigned char*>(buffer_.data()),
                              static_cast<std::int32_t>(buffer_.size()));
            if (count <= 0) return PromptDialogEnd::closed;
            last_bytes = Clock::now();
            answers_.clear();
            filter_telnet(filter_,
                          std::string_view(buffer_.data(), static_cast<std::size_t>(count)), text_,
                          answers_);
            if (!answers_.empty()) send_bytes(connection_, answers_.data(), answers_.size());
        }
        return PromptDialogEnd::done;
    }

  private:
    Connection* connection_;
    std::int64_t silence_limit_;
    std::string buffer_;
    std::string text_;
    std::string answers_;
    TelnetFilter filter_;
};

// Logs in: the user name at the family's prompt (some firmware asks only for the password), then
// the password. Gives done with the router's prompt in `prompt`.
PromptDialogEnd log_in(Session& session, const PromptDialogScript& script, std::string& prompt) {
    const std::string_view user_prompt = script.family->user_prompt;
    const auto asks_user = [user_prompt](std::string_view text) {
        if (!user_prompt.empty() && ends_with_word(text, user_prompt)) return true;
        for (const std::string_view word : user_prompts) {
            if (ends_with_word(text, word)) return true;
        }
        return false;
    };
    const auto asks_password = [](std::string_view text) {
        return ends_with_word(text, password_prompt);
    };
    PromptDialogEnd end = session.read_until(
        [&](std::string_view text) { return asks_user(text) || asks_password(text); });
    if (end != PromptDialogEnd::done) return end;
    if (asks_user(session.text())) {
        session.clear();
        if (!session.send_line(script.user)) return PromptDialogEnd::closed;
        end = session.read_until([&](std::string_view text) {
            return asks_password(text) || asks_user(text) || login_refused(text);
        });
        if (end != PromptDialogEnd::done) return end;
        if (!asks_password(session.text())) return PromptDialogEnd::refused;
    }
    session.clear();
    if (!session.send_line(script.password)) return PromptDialogEnd::closed;
    // The answer is the router's prompt, or a refusal: a failure message, or the login again.
    end = session.read_until([&](std::string_view text) {
        return !trailing_prompt(text).empty() || asks_user(text) || asks_password(text);
    });
    if (end != PromptDialogEnd::done) return end;
    if (login_refused(session.text()) || asks_user(session.text()) || asks_password(session.text()))
        return PromptDialogEnd::refused;
    prompt = trailing_prompt(session.text());
    session.clear();
    return PromptDialogEnd::done;
}

}  // namespace

std::string_view trailing_prompt(std::string_view text) {
    const std::size_t last_end = text.find_last_of("\r\n");
    const std::string_view tail =
        last_end == std::string_view::npos ? text : text.substr(last_end + 1);
    std::string_view mark = tail;
    while (!mark.empty() && (mark.back() == ' ' || mark.back() == '\t')) mark.remove_suffix(1);
    if (mark.empty()) return {};
    const char c = mark.back();
    if (c != '>' && c != '#' && c != '$' && c != '%') return {};
    return tail;
}

std::string_view reply_between(std::string_view text, std::string_view command,
                               std::string_view prompt) {
    if (text.size() >= prompt.size() && text.ends_with(prompt)) text.remove_suffix(prompt.size());
    // The echo: the command on the first line that is not empty.
    std::size_t start = text.find_first_not_of("\r\n");
    if (start == std::string_view::npos) return {};
    const std::size_t echo_end = text.find_first_of("\r\n", start);
    const std::string_view first_line = text.substr(
        start, echo_end == std::string_view::npos ? std::string_view::npos : echo_end - start);
    if (first_line.find(command) == std::string_view::npos) return text;
    if (echo_end == std::string_view::npos) return {};
    std::size_t reply_start = echo_end;
    // The echo's own line end, CR LF or LF or CR.
    if (text[reply_start] == '\r') ++reply_start;
    if (reply_start < text.size() && text[reply_start] == '\n') ++reply_start;
    return text.substr(reply_start);
}

PromptDialogEnd run_prompt_dialog(Connection* connection, const PromptDialogScript& script,
                                  std::vector<std::string>& replies) {
    replies.clear();
    Session session(connection, script.silence_limit_ms);
    std::string prompt;
    PromptDialogEnd end = log_in(session, script, prompt);
    if (end != PromptDialogEnd::done) return end;
    // The prompt must come back after a line end, so that a reply line that happens to end with
    // the same characters at the end of a read is not taken for it.
    const std::string after_line_feed = "\n" + prompt;
    const std::string after_return = "\r" + prompt;
    const auto prompt_back = [&](std::string_view text) {
        return text.ends_with(after_line_feed) || text.ends_with(after_return) || text == prompt;
    };
    for (const std::size_t index : script.commands) {
        const std::string_view command = script.family->commands[index].line;
        if (!session.send_line(command)) return PromptDialogEnd::closed;
        end = session.read_until(prompt_back);
        if (end != PromptDialogEnd::done) return end;
        replies.emplace_back(reply_between(session.text(), command, prompt));
        session.clear();
    }
    session.send_line("exit");
    return PromptDialogEnd::done;
}
