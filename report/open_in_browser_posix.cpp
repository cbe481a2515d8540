// Opens a file with xdg-open, which hands it to the desktop's browser.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "report/open_in_browser.h"

extern char** environ;

std::string open_in_browser(const std::string& path) {
    std::string program = "xdg-open";
    std::string argument = path;
    char* const argv[] = {program.data(), argument.data(), nullptr};
    pid_t child = 0;
    const int error = posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv, environ);
    if (error != 0) return "xdg-open cannot be run: " + std::string(std::strerror(error));
    // xdg-open returns once the browser has the file (or, for a browser in the terminal, once the
    // person closes it), so its status says whether the file was opened.
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return "xdg-open could not be waited for";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    return "xdg-open found no browser for it (status " +
           std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
}
