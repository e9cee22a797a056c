// Private bytes of this process while it repeats one of the supervisor's operations 400 times:
// growth that goes on with the count would be a leak, one page early on is the heap warming up.
// Usage: repeat_ops launch|shell|write. Run in a folder holding exit_at_once.exe.
#include "platform/platform.h"
#include "platform/win32/startup.h"

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <cstring>

namespace {

unsigned long private_bytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<unsigned long>(counters.PagefileUsage); // a few MiB
}

} // namespace

int main(int argc, char** argv) {
    const char* what = argc > 1 ? argv[1] : "launch";
    take_environment();
    start_clock();
    const char* const argv_list[] = {"exit_at_once.exe", nullptr};
    std::printf("%s:", what);
    for (int i = 0; i <= 400; ++i) {
        if (i % 100 == 0) {
            std::printf(" %lu", private_bytes());
        }
        if (std::strcmp(what, "launch") == 0) {
            ProcessPin pin = 0;
            launch_child("exit_at_once.exe", argv_list, &pin);
            release_pin(&pin);
        } else if (std::strcmp(what, "shell") == 0) {
            run_shell_command("exit_at_once > nul");
        } else {
            write_text_file("log_kq.txt", "running since  1 seconds, restarts 1 , PID 1 \n");
        }
    }
    std::printf(" (private bytes after 0, 100, 200, 300 and 400 repeats)\n");
    return 0;
}
