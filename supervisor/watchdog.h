// The watchdog: keeps the worker alive through its heartbeat file and reports in the status file.
#pragma once

#include "../platform/platform.h"
#include "child_argv.h"
#include "history.h"

#include <cstdint>

// A worker that survived its kill: kept pinned, so that its ID is not reused, and named to fkill
// again between two checks until it has ended.
struct Survivor {
    std::int32_t pid;
    ProcessPin pin;
};
// Survivors kept at once; a kill that fails beyond them lets its worker go, to be ended by hand.
constexpr std::uint32_t survivors_most = 16;
static_assert(survivors_most <= 32, "which survivors have ended is kept in 32 bits");

struct WatchdogState {
    std::int32_t pid;            // the worker most recently launched; -1 when that launch failed
    ProcessPin pin;              // keeps pid from being given to another process until the kill
    std::uint32_t restarts;      // launches, the first one included
    Ticks reference;             // the instant from which the next check is timed
    Ticks now;                   // the clock as read at the end of the previous pass
    bool status_unwritable;      // the last status write failed (warned once)
    bool heartbeat_folder;       // the last check found check.txt to be a folder (warned once)
    bool heartbeat_stuck;        // the last consumed heartbeat stayed in place (warned once)
    std::uint32_t look_failures; // checks in a row at which check.txt could not be looked at
    bool heartbeat_unseen;       // warned that check.txt cannot be looked at
    bool launch_failing;         // the last launch failed (warned once)
    std::uint32_t survivors;     // in survivor, oldest first
    bool survivors_due;          // a check was made: the next pass names a survivor
    Survivor survivor[survivors_most];
    const ChildArgv* child_argv;
    History* history;
    const volatile long* refusals; // the history's count of refused starts, or a 0 of its own
};

// Seconds after which a missing heartbeat ends the worker.
constexpr std::uint32_t heartbeat_limit_seconds = 60;
// How long the old worker may take to end after the kill command, before the relaunch.
constexpr std::uint32_t kill_wait_ms = 5000;
constexpr int escape_key = 27;
// A one-second sleep that took longer than this on the clock means the machine was suspended.
constexpr Ticks suspend_ticks = 3000;

// Reference instant, first launch, the start's event, first sleep.
void watchdog_start(WatchdogState& state, const ChildArgv& child_argv, History& history);
// One pass of the loop. False when ESC was read: the caller ends the process.
bool watchdog_pass(WatchdogState& state);
// The event of the end by ESC.
void watchdog_end(const WatchdogState& state);
// Seconds shown in the status line: 0 while the reference lies after now.
std::uint32_t status_seconds(Ticks now, Ticks reference);

// state: the caller's, zero-initialised storage (in .bss: -fdata-sections would put a static of
// this file in .data, and in the file).
[[noreturn]] void run_watchdog(WatchdogState& state, const ChildArgv& child_argv, History& history);
