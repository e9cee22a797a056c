// Runs the real supervisor for at least LOOPS loops (default 500) with a worker that never beats,
// so that it is killed and relaunched at every check, and compares the supervisor's handle count
// and private bytes after the first minute with those at the end. Run in a folder holding
// supervisor.exe, fkill.exe and kq2.exe.
#include "win_test_util.h"

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Private committed bytes (PrivateUsage answers 0 on Wine; PagefileUsage is the same figure).
unsigned long private_bytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process, &counters, sizeof counters)
               ? static_cast<unsigned long>(counters.PagefileUsage) // a few MiB
               : 0;
}

} // namespace

int main(int argc, char** argv) {
    const int loops_wanted = argc > 1 ? std::atoi(argv[1]) : 500;
    DeleteFileA("log_kq.txt");
    DeleteFileA("check.txt");
    Started supervisor = start_process("supervisor.exe /nobeat");
    if (supervisor.process == nullptr) {
        std::fprintf(stderr, "soak: cannot start supervisor.exe\n");
        return 1;
    }

    const DWORD started = GetTickCount();
    int loops = 0;
    std::string last;
    unsigned long first_handles = 0;
    unsigned long first_private = 0;
    // A second sample once three checks have run, so that one-time growth at the first kill and
    // relaunch can be told from growth that goes on.
    unsigned long warm_handles = 0;
    unsigned long warm_private = 0;
    while (loops < loops_wanted) {
        Sleep(250);
        const std::string now = read_file("log_kq.txt");
        if (!now.empty() && now != last) {
            ++loops;
            last = now;
        }
        if (first_handles == 0 && GetTickCount() - started >= 60000) {
            first_handles = count_process_handles(supervisor.pid);
            first_private = private_bytes(supervisor.process);
        }
        if (warm_handles == 0 && GetTickCount() - started >= 200000) {
            warm_handles = count_process_handles(supervisor.pid);
            warm_private = private_bytes(supervisor.process);
        }
        if (WaitForSingleObject(supervisor.process, 0) == WAIT_OBJECT_0) {
            std::fprintf(stderr, "soak: the supervisor ended\n");
            return 1;
        }
    }
    const unsigned long end_handles = count_process_handles(supervisor.pid);
    const unsigned long end_private = private_bytes(supervisor.process);
    TerminateProcess(supervisor.process, 0);
    finish_process(supervisor, 5000);

    std::string line = last.substr(0, last.find('\r'));
    std::printf("soak: %d loops in %lu s; last status: %s\n", loops,
                (GetTickCount() - started) / 1000, line.c_str());
    std::printf("soak: handles after 1 min %lu, at end %lu; private bytes after 1 min %lu, at end "
                "%lu\n",
                first_handles, end_handles, first_private, end_private);
    std::printf("soak: after 200 s (three kills in): handles %lu, private bytes %lu\n",
                warm_handles, warm_private);
    return end_handles == first_handles && end_private == first_private ? 0 : 2;
}
