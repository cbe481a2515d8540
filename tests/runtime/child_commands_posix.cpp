// The child process tests' commands for /bin/sh.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "child_commands.h"

namespace child_commands {

std::string print_environment() {
    return "env";
}
std::string two_lines_and_a_partial_one() {
    return "printf 'one\\ntwo\\nthree'";
}
std::string output_then_error() {
    return "echo out; echo err >&2";
}
std::string exit_three() {
    return "exit 3";
}
std::string start_and_hang() {
    return "sleep 30 & echo $!; echo started; sleep 30";
}
std::string missing_program() {
    return "/nonexistent/kelva-missing-program";
}

std::string open_descriptor_and_check_command() {
    const int fd = open("/dev/null", O_RDONLY);  // left open: the test process ends soon
    if (fd < 0) return "";
    const std::string path = "/proc/$$/fd/" + std::to_string(fd);
    return "if [ -e " + path + " ]; then echo inherited; else echo closed; fi";
}

bool process_ends(const std::string& id, int within_ms) {
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, std::stoi(id), 0));
    if (pidfd < 0) return errno == ESRCH;
    // Readable once it has ended, reaped or not.
    pollfd watched{pidfd, POLLIN, 0};
    const bool ended = poll(&watched, 1, within_ms) == 1;
    close(pidfd);
    return ended;
}

void set_own_variable(const std::string& name, const std::string& value) {
    setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace child_commands
