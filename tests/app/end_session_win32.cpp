// A helper of the Windows end-to-end test: holds a log open for reading only, as a spreadsheet
// showing it would, so that the program cannot write it; then, told to on standard input, lets it
// go and ends the desktop session for the program's window as Windows does at logoff.
//
// Usage: end_session_helper LOG WINDOW_TITLE. Prints "held" once the log is held. After a line
// (or the end) of standard input it closes the log and sends WM_QUERYENDSESSION and then
// WM_ENDSESSION to the window of that title. Exit status 0 when the window agreed to the session's
// end, 1 when there is no such window or it refused, 2 when the log cannot be held.
#include <windows.h>

#include <cstdio>

namespace {

constexpr UINT answer_limit_ms = 5000;  // as long as Windows waits for a program at logoff

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: end_session_helper LOG WINDOW_TITLE\n");
        return 2;
    }
    HANDLE log = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "end_session_helper: cannot open %s\n", argv[1]);
        return 2;
    }
    std::puts("held");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) line[0] = '\0';  // the end of input says go too
    CloseHandle(log);

    HWND window = FindWindowA(nullptr, argv[2]);
    DWORD_PTR agreed = 0;
    if (!window ||
        !SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                             answer_limit_ms, &agreed) ||
        !agreed) {
        std::fprintf(stderr, "end_session_helper: no window \"%s\" agreed to end\n", argv[2]);
        return 1;
    }
    // The program may end inside its answer, which then never comes.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                        answer_limit_ms, &ignored);
    std::puts("ended");
    return 0;
}
