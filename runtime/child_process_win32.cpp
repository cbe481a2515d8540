// ChildRun with CreateProcessW: the child in a job object, so that its limit or a stop ends the
// programs it started too; its standard output and error one anonymous pipe, the only handle it
// inherits besides the null device. The calling thread reads the pipe; a watcher thread ends the
// job at the limit or on stop(), which closes the pipe and so ends the reading.
#include <windows.h>

#include <atomic>
#include <thread>

#include "runtime/child_output_lines.h"
#include "runtime/child_process.h"

namespace {

constexpr DWORD end_wait_ms = 5000;  // for a terminated job's process to be gone
constexpr UINT ended_exit_code = 1;

std::wstring widen(std::string_view text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
    return text;
}

std::string last_error_text() {
    const DWORD code = GetLastError();
    wchar_t* message = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text = n > 0 ? std::wstring(message, n) : L"error " + std::to_wstring(code);
    if (message != nullptr) LocalFree(message);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.'))
        text.pop_back();
    return narrow(text);
}

// One argument as the C runtime's parser reads it back: quoted where it has blanks or quotes,
// a quote escaped, and backslashes doubled only before a quote.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    out += L'"';
    return out;
}

bool is_shell_call(const std::vector<std::string>& arguments) {
    return arguments.size() == 3 && arguments[1] == "/c";
}

std::wstring command_line_of(const std::vector<std::string>& arguments) {
    if (is_shell_call(arguments)) {
        // cmd.exe does not read its command as an argument: /s takes off exactly the first and
        // last quotes, so the command arrives as written, its own quotes kept.
        return quoted(widen(arguments[0])) + L" /d /s /c \"" + widen(arguments[2]) + L"\"";
    }
    std::wstring line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += L' ';
        line += quoted(widen(argument));
    }
    return line;
}

std::wstring environment_block(const std::vector<std::string>& environment) {
    std::wstring block;
    for (const std::string& entry : environment) {
        block += widen(entry);
        block += L'\0';
    }
    if (block.empty()) block += L'\0';  // an empty block still ends with two
    block += L'\0';
    return block;
}

struct Handle {
    HANDLE value = nullptr;

    Handle() = default;
    explicit Handle(HANDLE h) : value(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { close(); }
    void close() {
        if (value != nullptr) CloseHandle(value);
        value = nullptr;
    }
};

// The attribute that limits the handles the child inherits to `handles`.
class InheritedOnly {
  public:
    InheritedOnly(HANDLE* handles, std::size_t count) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
            list_ = nullptr;
            return;
        }
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                       count * sizeof(HANDLE), nullptr, nullptr)) {
            DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }
    ~InheritedOnly() {
        if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
    }
    InheritedOnly(const InheritedOnly&) = delete;
    InheritedOnly& operator=(const InheritedOnly&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

  private:
    std::vector<char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

DWORD ms_until(ULONGLONG deadline_ms) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline_ms ? 0 : static_cast<DWORD>(deadline_ms - now);
}

}  // namespace

struct ChildRun::State {
    Handle stop_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> stopped{false};
};

ChildRun::ChildRun() : state_(std::make_unique<State>()) {}

ChildRun::~ChildRun() = default;

void ChildRun::stop() {
    state_->stopped = true;
    if (state_->stop_event.value != nullptr) SetEvent(state_->stop_event.value);
}

ChildOutcome ChildRun::run(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment, std::uint32_t time_limit_ms,
                           const std::function<void(std::string_view line)>& on_line,
                           bool low_priority) {
    ChildOutcome outcome;
    if (state_->stopped) {
        outcome.end = ChildEnd::stopped;
        return outcome;
    }
    if (arguments.empty()) {
        outcome.error = "no program to run";
        return outcome;
    }
    const ULONGLONG deadline_ms = GetTickCount64() + time_limit_ms;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_raw = nullptr, write_raw = nullptr;
    if (!CreatePipe(&read_raw, &write_raw, &inherit, 0)) {
        outcome.error = "cannot run " + arguments[0] + ": " + last_error_text();
        return outcome;
    }
    Handle read_end(read_raw), write_end(write_raw);
    SetHandleInformation(read_end.value, HANDLE_FLAG_INHERIT, 0);
    Handle null_input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, 0, nullptr));
    Handle job(CreateJobObjectW(nullptr, nullptr));
    if (job.value != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job.value, JobObjectExtendedLimitInformation, &limits,
                                sizeof limits);
    }
    HANDLE inherited[2] = {write_end.value, null_input.value};
    InheritedOnly only(inherited, null_input.value != nullptr ? 2 : 1);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = null_input.value;
    startup.StartupInfo.hStdOutput = write_end.value;
    startup.StartupInfo.hStdError = write_end.value;
    startup.lpAttributeList = only.list();
    DWORD flags = CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED;
    if (only.list() != nullptr) flags |= EXTENDED_STARTUPINFO_PRESENT;
    if (low_priority) flags |= BELOW_NORMAL_PRIORITY_CLASS;
    const std::wstring program = widen(arguments[0]);
    std::wstring command_line = command_line_of(arguments);
    std::wstring block = environment_block(environment);
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, flags,
                        block.data(), nullptr, &startup.StartupInfo, &created)) {
        outcome.error = "cannot run " + arguments[0] + ": " + last_error_text();
        return outcome;
    }
    Handle process(created.hProcess), thread(created.hThread);
    // A process already in a job that allows no other (Windows 7) runs without one: then only
    // the child itself can be ended.
    const bool in_job =
        job.value != nullptr && AssignProcessToJobObject(job.value, process.value) != 0;
    ResumeThread(thread.value);
    write_end.close();
    null_input.close();

    auto end_child = [&] {
        if (in_job)
            TerminateJobObject(job.value, ended_exit_code);
        else
            TerminateProcess(process.value, ended_exit_code);
    };
    Handle reading_done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<ChildEnd> ending{ChildEnd::exited};
    std::thread watcher([&] {
        HANDLE waits[2] = {state_->stop_event.value, reading_done.value};
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, ms_until(deadline_ms));
        if (woken == WAIT_OBJECT_0 + 1) return;
        ending = woken == WAIT_TIMEOUT ? ChildEnd::over_time : ChildEnd::stopped;
        end_child();
    });
    ChildOutputLines lines(on_line);
    char buffer[65536];
    DWORD n = 0;
    // Ends when the child and every program it started have closed the pipe, or were ended.
    while (ReadFile(read_end.value, buffer, sizeof buffer, &n, nullptr)) {
        lines.add(buffer, n);
    }
    SetEvent(reading_done.value);
    watcher.join();
    outcome.end = ending;
    if (outcome.end == ChildEnd::exited) {
        // The output is closed, but the child may still run.
        HANDLE waits[2] = {process.value, state_->stop_event.value};
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, ms_until(deadline_ms));
        if (woken != WAIT_OBJECT_0) {
            outcome.end = woken == WAIT_OBJECT_0 + 1 ? ChildEnd::stopped : ChildEnd::over_time;
            end_child();
        }
    }
    WaitForSingleObject(process.value, end_wait_ms);
    DWORD code = 0;
    outcome.exit_status = GetExitCodeProcess(process.value, &code) && code != STILL_ACTIVE
                              ? static_cast<int>(code)
                              : -1;
    lines.finish();
    return outcome;
}

std::vector<std::string> shell_arguments(std::string_view command) {
    wchar_t comspec[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"ComSpec", comspec, MAX_PATH);
    const std::string shell = n > 0 && n < MAX_PATH ? narrow(std::wstring_view(comspec, n))
                                                    : std::string("C:\\Windows\\System32\\cmd.exe");
    return {shell, "/c", std::string(command)};
}

std::vector<std::string> environment_without(const std::vector<std::string_view>& left_out) {
    std::vector<std::string> kept;
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) return kept;
    std::vector<std::wstring> out;
    for (std::string_view name : left_out) out.push_back(widen(name));
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const std::wstring_view text = entry;
        // Names are matched without regard to case; the hidden "=C:=C:\..." ones are kept.
        const std::wstring_view name = text.substr(0, text.find(L'=', 1));
        bool leave = false;
        for (const std::wstring& name_out : out) {
            leave = leave || CompareStringOrdinal(
                                 name.data(), static_cast<int>(name.size()), name_out.data(),
                                 static_cast<int>(name_out.size()), TRUE) == CSTR_EQUAL;
        }
        if (!leave) kept.push_back(narrow(text));
    }
    FreeEnvironmentStringsW(block);
    return kept;
}

std::string own_program_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return "";
        if (n < path.size()) return narrow(std::wstring_view(path.data(), n));
        path.resize(path.size() * 2);
    }
}
