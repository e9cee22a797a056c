// Recovery latency: from a check that finds no heartbeat to the new worker running, by the same
// platform calls that the watchdog makes, against a baseline that does the same work without this
// platform layer: one "cmd.exe /c fkill PID" of a live process, then one CreateProcessA. Run in a
// folder holding fkill.exe and kq2.exe (a copy of started_probe.exe). Prints median milliseconds
// of each.
#include "platform/platform.h"
#include "win_test_util.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

HANDLE g_started;

double now_ms() {
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool wait_started() {
    return WaitForSingleObject(g_started, 10000) == WAIT_OBJECT_0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void end_pid(int pid) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (h != nullptr) {
        TerminateProcess(h, 0);
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    g_started = CreateEventA(nullptr, FALSE, FALSE, "kq2_bench_started");
    const char* const worker_argv[] = {"kq2.exe", "/z", nullptr};
    std::vector<double> recovery;
    std::vector<double> recovery_shell; // of which the kill command
    std::vector<double> baseline;
    std::vector<double> baseline_shell;

    for (int round = 0; round < rounds; ++round) {
        // The watchdog's path: no heartbeat, kill, release the pin, relaunch.
        ProcessPin pin = 0;
        int pid = launch_child("kq2.exe", worker_argv, &pin);
        if (pid == -1 || !wait_started()) {
            std::fprintf(stderr, "recovery_bench: the worker did not start\n");
            return 1;
        }
        const double t0 = now_ms();
        if (file_exists("check.txt") != 0) {
            char command[64];
            std::snprintf(command, sizeof command, "fkill %d > nul", pid);
            run_shell_command(command);
            wait_pinned_exit(pin, 5000);
            recovery_shell.push_back(now_ms() - t0);
            release_pin(&pin);
            pid = launch_child("kq2.exe", worker_argv, &pin);
        }
        if (pid == -1 || !wait_started()) {
            std::fprintf(stderr, "recovery_bench: the relaunch did not start\n");
            return 1;
        }
        recovery.push_back(now_ms() - t0);
        release_pin(&pin);
        end_pid(pid);

        // The baseline: a live process ended by the interpreter running fkill, then a plain
        // CreateProcessA, as a program without this platform layer would do it.
        Started victim = start_process("kq2.exe /z");
        if (victim.process == nullptr || !wait_started()) {
            std::fprintf(stderr, "recovery_bench: the baseline's victim did not start\n");
            return 1;
        }
        char kill_line[64];
        std::snprintf(kill_line, sizeof kill_line, "cmd.exe /c fkill %lu > nul", victim.pid);
        const double t1 = now_ms();
        Started shell = start_process(kill_line);
        finish_process(shell, INFINITE);
        baseline_shell.push_back(now_ms() - t1);
        Started other = start_process("kq2.exe /z");
        if (other.process == nullptr || !wait_started()) {
            std::fprintf(stderr, "recovery_bench: the baseline did not start\n");
            return 1;
        }
        baseline.push_back(now_ms() - t1);
        finish_process(victim, 5000);
        TerminateProcess(other.process, 0);
        finish_process(other, 5000);
    }
    std::printf("recovery %.1f ms, baseline %.1f ms (medians of %d; of which the kill: %.1f ms and "
                "%.1f ms)\n",
                median(recovery), median(baseline), rounds, median(recovery_shell),
                median(baseline_shell));
    return 0;
}
