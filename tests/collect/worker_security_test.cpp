// What a router cannot make the worker do: write the password anywhere, write any file but the two
// logs, or send anything but the script's lines.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "collect/collection_worker.h"
#include "settings/settings.h"
#include "tools/router_sim.h"
#include "worker_fixture.h"

namespace {

class WorkerSecurity : public WorkerTest {
  protected:
    // Every reply goes out in one piece, so a short pass still reads each one whole.
    WorkerSecurity() { case_pass_pause_ms_ = 2; }
};

// While it lives, standard output and standard error go to files of their own; text() reads
// what was written to them.
class CapturedOutput {
  public:
    CapturedOutput() {
        for (int k = 0; k < 2; ++k) {
            std::fflush(nullptr);
            files_[k] = std::tmpfile();
            saved_[k] = dup(k + 1);
            if (files_[k] != nullptr) dup2(fileno(files_[k]), k + 1);
        }
    }
    ~CapturedOutput() {
        restore();
        for (std::FILE* file : files_) {
            if (file != nullptr) std::fclose(file);
        }
    }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    // Standard output and standard error back as they were; then what was written to them.
    std::string text() {
        restore();
        std::string text;
        for (std::FILE* file : files_) {
            if (file == nullptr) continue;
            std::rewind(file);
            char bytes[4096];
            for (std::size_t count; (count = std::fread(bytes, 1, sizeof bytes, file)) > 0;)
                text.append(bytes, count);
        }
        return text;
    }

  private:
    void restore() {
        std::fflush(nullptr);
        for (int k = 0; k < 2; ++k) {
            if (saved_[k] < 0) continue;
            dup2(saved_[k], k + 1);
            close(saved_[k]);
            saved_[k] = -1;
        }
    }

    std::FILE* files_[2] = {nullptr, nullptr};
    int saved_[2] = {-1, -1};
};

std::set<std::string> entries_of(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

TEST_F(WorkerSecurity, PasswordEchoedByTheRouterIsWrittenNowhere) {
    // The echo comes in the answer to the login, as a router's terminal echo would; no step of the
    // worker logs that chunk, so the password has no way into a file but the worker's own doing.
    const std::string password = "Kv\xC3\xA4-7f3K9q";
    RouterSimOptions options;
    options.password = password;
    options.faults[std::size_t(ReplyPoint::login)].replacement =
        password + "\r\nLogin successful\r\n> ";
    start_sim(options, 3);
    settings.password = password;
    std::string output;
    {
        CapturedOutput captured;
        run_sessions(3);
        output = captured.text();
    }

    ASSERT_EQ(session(1).received.substr(0, password.size() + 1), password + "\r");
    expect_logs_with_lines(2);
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        EXPECT_EQ(read_file_bytes(entry.path().string()).find(password), std::string::npos)
            << entry.path();
    }
    for (const std::string& shown : statuses())
        EXPECT_EQ(shown.find(password), std::string::npos) << shown;
    for (const std::string& box : boxes()) EXPECT_EQ(box.find(password), std::string::npos) << box;
    EXPECT_EQ(output.find(password), std::string::npos) << output;
}

// Replies that look like paths, format strings and terminal controls, with very long lines.
std::string hostile_status_reply() {
    std::string reply = "show adsl\r\n";
    for (int line = 2; line <= 40; ++line) {
        switch (line % 5) {
            case 0:
                reply += "../../../tmp/kelva_evil.csv = ../../x\r\n";
                break;
            case 1:
                reply += "/etc/passwd\t/etc/passwd\t%s%n%x\t%n\t../..\r\n";
                break;
            case 2:
                reply += "kelvastats.csv=kelvabins.csv\r\n";
                break;
            case 3:
                reply += "\x1b]0;title\x07 %p%p%p\t\t%s\r\n";
                break;
            default:
                reply += "C:\\Windows\\System32 = ..\\..\\boot.ini\r\n";
                break;
        }
    }
    return reply + std::string(5000, 'A') + "=" + std::string(1000, '/') + "\r\n> ";
}

std::string hostile_bins_reply() {
    std::string reply = "adsl showbins\r\n\r\n\r\n\r\nTone\r\n";
    for (int line = 6; line <= 63; ++line)
        reply += "%s %n ../ /etc/passwd %n%n%n%n%n%n%n%n%n%n%n%n%n%n%n%n\r\n";
    for (int k = 0; k < 1500; ++k) reply += "../";
    return reply + "\r\n> ";
}

TEST_F(WorkerSecurity, HostileRepliesReachOnlyTheTwoLogsAndChangeNotTheScript) {
    // The working directory sits in a directory of its own, so a write through "../" would show.
    std::filesystem::create_directory("work");
    std::filesystem::current_path("work");
    RouterSimOptions options;
    options.lockstep = true;
    options.faults[std::size_t(ReplyPoint::greeting)].replacement =
        "../../etc/passwd\r\n/etc/passwd\r\n%s%s%n%n\r\nPassword: ";
    options.faults[std::size_t(ReplyPoint::login)].replacement =
        "%n%n%n\r\nkelvastats.csv\r\n../kelvabins.csv\r\n> ";
    options.faults[std::size_t(ReplyPoint::status)].replacement = hostile_status_reply();
    options.faults[std::size_t(ReplyPoint::bins)].replacement = hostile_bins_reply();
    start_sim(options, 3);
    run_sessions(3);

    EXPECT_EQ(session(1).received, script);
    EXPECT_EQ(session(2).received, script);
    expect_logs_with_lines(2);
    EXPECT_EQ(entries_of("."), (std::set<std::string>{"kelvastats.csv", "kelvabins.csv"}));
    EXPECT_EQ(entries_of(dir_.path()), std::set<std::string>{"work"});
}

}  // namespace
