// fkill PID: ends the one process whose decimal ID it is given, and returns only once it has ended.
// Anything doubtful about the ID is refused, so that it never ends a process other than the one
// named.
#include "../platform/win32/look_up.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>

namespace {

constexpr int exit_failed = 1;  // the process could not be opened or ended
constexpr int exit_refused = 2; // the argument was not one process ID
constexpr int exit_running = 3; // told to end, the process still ran after the wait

// TerminateProcess only starts the end, as Microsoft documents (Wine does not show it); the
// process is gone once its handle is signalled.
constexpr DWORD end_wait_ms = 10000;

enum class IdParse { Ok, NotNumber, OutOfRange };

// Digits only: no sign, no blanks, nothing after them. Process IDs are positive 32-bit values.
IdParse parse_process_id(const char* text, DWORD* id) {
    if (*text == '\0') {
        return IdParse::NotNumber;
    }
    constexpr DWORD largest = 0x7fffffffu;
    DWORD value = 0;
    bool too_large = false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return IdParse::NotNumber;
        }
        const auto digit = static_cast<DWORD>(*p - '0');
        if (too_large || value > (largest - digit) / 10u) {
            too_large = true; // keep reading: trailing junk still makes it no number
        } else {
            value = value * 10u + digit;
        }
    }
    if (too_large || value == 0) {
        return IdParse::OutOfRange;
    }
    *id = value;
    return IdParse::Ok;
}

// Decimal digits of value, in room of 11 bytes.
const char* decimal(unsigned long value, char (&room)[11]) {
    char* p = room + sizeof room - 1;
    *p = '\0';
    do {
        *--p = static_cast<char>('0' + value % 10u);
        value /= 10u;
    } while (value != 0);
    return p;
}

// One line on standard error. The C runtime's fputs only: its printf family would bring in the
// compiler's own formatting code and imports that older systems lack.
void say(const char* const* parts, std::size_t count) {
    std::fputs("fkill: ", stderr);
    for (std::size_t i = 0; i < count; ++i) {
        std::fputs(parts[i], stderr);
    }
    std::fputs("\n", stderr);
}

int refuse(const char* argument, const char* reason) {
    // The argument is shown cut short and with control characters masked, to stay one line.
    char shown[41];
    std::size_t n = 0;
    for (; n < sizeof shown - 1 && argument[n] != '\0'; ++n) {
        shown[n] = static_cast<unsigned char>(argument[n]) < 0x20u ? '?' : argument[n];
    }
    shown[n] = '\0';
    const char* const parts[] = {shown, argument[n] != '\0' ? "...: " : ": ", reason};
    say(parts, 3);
    return exit_refused;
}

// hint, when not empty, says what to do: ": run ...".
int fail(DWORD id, const char* what, DWORD error, const char* hint = "") {
    char id_room[11];
    char error_room[11];
    const char* const parts[] = {
        "cannot ", what, " process ", decimal(id, id_room), " (error ", decimal(error, error_room),
        ")",       hint};
    say(parts, 8);
    return exit_failed;
}

// Enables SeDebugPrivilege where this process's token holds it: an administrator's, elevated.
// advapi32 is looked up at run time, as the supervisor does, so that fkill still imports kernel32
// and msvcrt only.
bool enable_debug_privilege() {
    using OpenToken = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using LookupPrivilege = BOOL(WINAPI*)(LPCSTR, LPCSTR, PLUID);
    using AdjustPrivileges =
        BOOL(WINAPI*)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    if (advapi == nullptr) {
        return false;
    }
    const auto open_token = look_up<OpenToken>(advapi, "OpenProcessToken");
    const auto lookup = look_up<LookupPrivilege>(advapi, "LookupPrivilegeValueA");
    const auto adjust = look_up<AdjustPrivileges>(advapi, "AdjustTokenPrivileges");
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    HANDLE token = nullptr;
    if (open_token == nullptr || lookup == nullptr || adjust == nullptr ||
        lookup(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid) == FALSE ||
        open_token(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token) == FALSE) {
        return false;
    }
    // It succeeds for a token without the privilege too, then with ERROR_NOT_ALL_ASSIGNED.
    const bool enabled = adjust(token, FALSE, &privileges, 0, nullptr, nullptr) != FALSE &&
                         GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return enabled;
}

// The process to end, opened to end it and wait for it. Another account's worker refuses the open
// (error 5): a token's default DACL grants only its user and LocalSystem. With SeDebugPrivilege
// enabled, "the requested access is granted regardless of the contents of the security
// descriptor" (Microsoft's OpenProcess page), so the open is tried once more with it. Wine runs
// every program as one user, so another account's refusal cannot be shown there: its token holds
// the privilege and enabling it succeeds, but a DACL that grants nothing refuses the open all the
// same, so only the retry that fails runs there. Null with the error in error.
HANDLE open_process(DWORD id, DWORD& error) {
    const DWORD access = PROCESS_TERMINATE | SYNCHRONIZE;
    HANDLE process = OpenProcess(access, FALSE, id);
    error = process == nullptr ? GetLastError() : 0;
    if (error == ERROR_ACCESS_DENIED && enable_debug_privilege()) {
        process = OpenProcess(access, FALSE, id);
        error = process == nullptr ? GetLastError() : 0;
    }
    return process;
}

bool has_ended(HANDLE process) {
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

// Ends the process and waits for its end; the exit status of fkill.
int end_process(HANDLE process, DWORD id) {
    // A process that has already ended (a crashed worker still held by its supervisor) refuses
    // TerminateProcess, but is just what was asked for.
    if (has_ended(process)) {
        return 0;
    }
    if (TerminateProcess(process, 1) == FALSE) {
        const DWORD error = GetLastError();
        return has_ended(process) ? 0 : fail(id, "end", error);
    }
    switch (WaitForSingleObject(process, end_wait_ms)) {
    case WAIT_OBJECT_0:
        return 0;
    case WAIT_TIMEOUT: {
        char id_room[11];
        char seconds_room[11];
        const char* const parts[] = {"process ", decimal(id, id_room), " still runs ",
                                     decimal(end_wait_ms / 1000u, seconds_room),
                                     " seconds after it was told to end"};
        say(parts, 5);
        return exit_running;
    }
    default:
        return fail(id, "wait for", GetLastError());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        const char* const parts[] = {"usage: fkill PID"};
        say(parts, 1);
        return exit_refused;
    }
    DWORD id = 0;
    switch (parse_process_id(argv[1], &id)) {
    case IdParse::NotNumber:
        return refuse(argv[1], "not a process ID");
    case IdParse::OutOfRange:
        return refuse(argv[1], "process ID out of range");
    case IdParse::Ok:
        break;
    }
    if (id == GetCurrentProcessId()) {
        return refuse(argv[1], "that is fkill itself");
    }
    DWORD error = 0;
    HANDLE process = open_process(id, error);
    if (process == nullptr) {
        return fail(id, "open", error,
                    error == ERROR_ACCESS_DENIED
                        ? ": run fkill as the worker's account, or as an administrator"
                        : "");
    }
    const int status = end_process(process, id);
    CloseHandle(process);
    return status;
}
