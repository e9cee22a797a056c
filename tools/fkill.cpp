// fkill PID: ends the one process whose decimal ID it is given. Anything doubtful about the ID is
// refused, so that it never ends a process other than the one named.
#include <windows.h>

#include <cstddef>
#include <cstdio>

namespace {

constexpr int exit_refused = 2; // the argument was not one process ID
constexpr int exit_failed = 1;  // the process could not be opened or ended

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

int fail(DWORD id, const char* what) {
    const DWORD error = GetLastError();
    char id_room[11];
    char error_room[11];
    const char* const parts[] = {
        "cannot ", what, " process ", decimal(id, id_room), " (error ", decimal(error, error_room),
        ")"};
    say(parts, 7);
    return exit_failed;
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
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (process == nullptr) {
        return fail(id, "open");
    }
    const bool ended = TerminateProcess(process, 1) != FALSE;
    if (!ended) {
        const int status = fail(id, "end");
        CloseHandle(process);
        return status;
    }
    CloseHandle(process);
    return 0;
}
