// A simulated platform for the watchdog: a fake clock that only moves when the watchdog sleeps or
// runs a command, a heartbeat file, a worker that can be healthy or hung, and a key queue.
// It allocates nothing, so that a soak can count allocations.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct FakePlatform {
    Ticks clock;        // what ticks_now() answers
    Ticks command_cost; // hundredths each shell command takes
    bool heartbeat;     // check.txt exists
    bool heartbeat_is_folder;
    bool heartbeat_undeletable;
    unsigned long look_error; // nonzero: every look fails with it
    bool delete_pending;      // after a del, looks answer "access denied"
    bool commands_hang;       // every shell command runs into its time limit
    int asleep_at;            // the machine is suspended in this sleep (1 = the first)
    Ticks asleep_for;
    bool worker_healthy; // the worker recreates check.txt on every sleep
    bool launch_fails;
    bool worker_crashes; // every worker has ended, with exit_code, by the next check
    int next_pid;
    int launches;
    int kills;   // "fkill" commands run
    int deletes; // "del check.txt" commands run
    int last_killed_pid;
    bool kill_while_pinned; // every kill so far named a pinned process
    int open_pins;
    int pinned_pid;      // the worker launched last
    std::uint64_t runs;  // bit pid % 64: that process runs
    std::uint64_t pins;  // bit pid % 64: a pin holds that process
    bool kill_works;     // a kill command ends the process it names
    bool survivors_beat; // the workers launched before the last one that still run write check.txt
    int sleeps;
    char status[128]; // log_kq.txt
    bool status_writable;
    int status_writes;
    Ticks last_write;        // the clock at the last status write, or at the reset
    Ticks longest_write_gap; // the most that passed between two status writes
    int warnings;
    char last_warning[128];
    std::uint32_t launch_error;   // last_launch_error() after a failed launch
    const char* error_text;       // the system's text for it, or null
    std::uint32_t exit_code;      // the pinned process's, once it has ended
    std::uint32_t register_error; // register_event_source() answers it
    std::uint32_t event_error;    // report_event() answers it
    int registrations;
    int events;        // written
    int events_of[32]; // written, by ID
    EventType last_type;
    std::uint32_t last_id;
    char last_event[512];
    bool keep_events;      // fill event_log: off, so that the soak sees no allocation of ours
    std::string event_log; // every event written while keep_events is on, as "ID sentence" lines
    bool count_shared;     // a supervisor shares refusal_count: count_refusal() adds to it
    long refusal_count;
    bool count_foreign; // another account made the count's memory first: not shared
    int keys[16];       // waiting key codes, read in order
    std::size_t key_head;
    std::size_t key_count;
};

FakePlatform& fake();
// A fresh platform: clock at start, worker healthy, pids from 1000.
void fake_reset(Ticks clock = 0);
void fake_press(int key_code);
