// Runs the watchdog over the simulated platform for many passes, with a worker that turns hung
// and healthy in turns, and reports the time per pass. Run it under valgrind to count heap
// allocations: the count does not grow with the number of passes.
#include "supervisor/watchdog.h"
#include "tests/native/fake_platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const long passes = argc > 1 ? std::atol(argv[1]) : 1000000;
    static char worker[] = "kq2.exe";
    static char option[] = "/z";
    static ChildArgv child{{worker, option, nullptr}};
    static WatchdogState state;
    static History history;

    fake_reset(0xFFFFFFFFu - 360000u); // the tick count wraps an hour in
    fake().command_cost = 30;
    const auto started = std::chrono::steady_clock::now();
    watchdog_start(state, child, history);
    for (long i = 0; i < passes; ++i) {
        // Healthy for 5 minutes, hung for 3, and again.
        fake().worker_healthy = i % 480 < 300;
        if (!watchdog_pass(state)) {
            return 1;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const FakePlatform& f = fake();
    std::printf("soak: %ld passes (%.1f simulated days) in %.3f s, %.1f ns per pass\n", passes,
                static_cast<double>(passes) / 86400.0, seconds,
                seconds * 1e9 / static_cast<double>(passes));
    std::printf("soak: restarts %u, kills %d, heartbeats consumed %d, open worker handles %d, "
                "every kill pinned: %s\n",
                state.restarts, f.kills, f.deletes, f.open_pins,
                f.kill_while_pinned ? "yes" : "no");
    std::printf("soak: last status: %s", f.status);
    return f.open_pins == 1 && f.kill_while_pinned ? 0 : 1;
}
