// Polls the keyboard as the watchdog does in a process started without a console, and reports
// by its exit code alone, as it must print nothing. Given a process ID, it then joins that
// process's console, where the test has left ESC waiting.
#include "platform/platform.h"

#include <cstdlib>
#include <windows.h>

enum Fault {
    had_console = 1,
    key_seen = 2,
    read_worked = 4,
    slow = 8,
    no_attach = 16,
    no_esc = 32
};

int main(int argc, char** argv) {
    HANDLE input = CreateFileA("conin$", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    int faults = input != INVALID_HANDLE_VALUE ? had_console : 0;
    const DWORD start = GetTickCount();
    for (int i = 0; i < 1000; ++i) {
        faults |= key_available() ? key_seen : 0;
    }
    faults |= GetTickCount() - start >= 1000 ? slow : 0;
    faults |= read_key() != -1 ? read_worked : 0;
    if (argc > 1) {
        if (AttachConsole(static_cast<DWORD>(std::atol(argv[1]))) == FALSE) {
            return faults | no_attach;
        }
        faults |= key_available() && read_key() == 27 ? 0 : no_esc;
    }
    return faults;
}
