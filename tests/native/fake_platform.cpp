#include "fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static FakePlatform g_fake;

static std::uint64_t bit(std::uintptr_t pid) {
    return std::uint64_t{1} << (pid % 64);
}

FakePlatform& fake() {
    return g_fake;
}

void fake_reset(Ticks clock) {
    g_fake = FakePlatform{};
    g_fake.clock = clock;
    g_fake.last_write = clock;
    g_fake.worker_healthy = true;
    g_fake.next_pid = 1000;
    g_fake.kill_while_pinned = true;
    g_fake.status_writable = true;
    g_fake.kill_works = true;
}

void fake_press(int key_code) {
    g_fake.keys[(g_fake.key_head + g_fake.key_count++) % 16] = key_code;
}

Ticks ticks_now() {
    return g_fake.clock;
}

void sleep_seconds(std::uint32_t seconds) {
    g_fake.clock += seconds * 100u + (++g_fake.sleeps == g_fake.asleep_at ? g_fake.asleep_for : 0);
    if (g_fake.worker_healthy ||
        (g_fake.survivors_beat && (g_fake.runs & ~bit(g_fake.pinned_pid)) != 0)) {
        g_fake.heartbeat = true;
    }
}

PathKind path_kind(const char* path, unsigned long* error) {
    if (g_fake.look_error != 0) {
        *error = g_fake.look_error;
        return PathKind::Unknown;
    }
    if (std::strcmp(path, "check.txt") != 0 || !g_fake.heartbeat) {
        return PathKind::Absent;
    }
    return g_fake.heartbeat_is_folder ? PathKind::Directory : PathKind::File;
}

// The start-up checks are tested over their facts, and under Wine.
std::size_t read_file_start(const char*, char*, std::size_t) {
    return 0;
}

bool write_text_file(const char* path, const char* text) {
    if (std::strcmp(path, "log_kq.txt") != 0 || !g_fake.status_writable) {
        return false;
    }
    std::snprintf(g_fake.status, sizeof g_fake.status, "%s", text);
    ++g_fake.status_writes;
    g_fake.longest_write_gap = std::max(g_fake.longest_write_gap, g_fake.clock - g_fake.last_write);
    g_fake.last_write = g_fake.clock;
    return true;
}

void print_message(const char*) {}

void print_warning(const char* text) {
    ++g_fake.warnings;
    std::snprintf(g_fake.last_warning, sizeof g_fake.last_warning, "%s", text);
}

void exit_process(int code) {
    std::exit(code);
}

int start_program(LaunchMode, const char*, const char* const*) {
    return -1;
}

int launch_child(const char*, const char* const*, ProcessPin* pin) {
    ++g_fake.launches;
    if (g_fake.launch_fails) {
        *pin = 0;
        return -1;
    }
    const int pid = g_fake.next_pid++;
    *pin = static_cast<ProcessPin>(pid);
    ++g_fake.open_pins;
    g_fake.pinned_pid = pid;
    g_fake.runs = (g_fake.runs & ~bit(pid)) | (g_fake.worker_crashes ? 0 : bit(pid));
    g_fake.pins |= bit(pid);
    return pid;
}

// Waiting for a process that does not end costs the whole time.
bool wait_pinned_exit(ProcessPin pin, std::uint32_t milliseconds) {
    if (pin == 0 || (g_fake.runs & bit(pin)) == 0) {
        return true;
    }
    g_fake.clock += milliseconds / 10u;
    return false;
}

bool pinned_exit_code(ProcessPin pin, std::uint32_t* code) {
    if (pin == 0 || (g_fake.runs & bit(pin)) != 0) {
        return false;
    }
    *code = g_fake.exit_code;
    return true;
}

std::uint32_t register_event_source() {
    ++g_fake.registrations;
    return g_fake.register_error;
}

std::uint32_t report_event(EventType type, std::uint32_t id, const char* sentence) {
    if (g_fake.event_error != 0) {
        return g_fake.event_error;
    }
    ++g_fake.events;
    ++g_fake.events_of[id % 32];
    g_fake.last_type = type;
    g_fake.last_id = id;
    std::snprintf(g_fake.last_event, sizeof g_fake.last_event, "%s", sentence);
    if (g_fake.keep_events) {
        g_fake.event_log += std::to_string(id) + " " + sentence + "\n";
    }
    return 0;
}

void release_pin(ProcessPin* pin) {
    if (*pin != 0) {
        --g_fake.open_pins;
        g_fake.pins &= ~bit(*pin);
        *pin = 0;
    }
}

bool delete_file(const char*) {
    g_fake.heartbeat = g_fake.heartbeat && g_fake.heartbeat_undeletable;
    return !g_fake.heartbeat;
}

// A command that hangs is stopped at its limit, having done nothing.
int run_shell_command(const char* text, bool* timed_out) {
    g_fake.clock += g_fake.command_cost + (g_fake.commands_hang ? shell_command_limit_ms / 10u : 0);
    *timed_out = g_fake.commands_hang;
    if (g_fake.commands_hang) {
        return -1;
    }
    int pid = 0;
    if (std::sscanf(text, "fkill %d > nul", &pid) == 1) {
        ++g_fake.kills;
        g_fake.last_killed_pid = pid;
        g_fake.kill_while_pinned = g_fake.kill_while_pinned && (g_fake.pins & bit(pid)) != 0;
        g_fake.runs &= g_fake.kill_works ? ~bit(pid) : ~std::uint64_t{0};
        return 0;
    }
    if (std::strcmp(text, "del check.txt > nul") == 0) {
        ++g_fake.deletes;
        g_fake.heartbeat = g_fake.heartbeat_undeletable;
        g_fake.look_error = g_fake.delete_pending ? 5 : 0;
        return 0;
    }
    return 1;
}

const char* get_environment_value(const char*) {
    return nullptr;
}

std::uint32_t last_launch_error() {
    return g_fake.launch_error;
}

bool error_text(std::uint32_t, char* out, std::size_t capacity) {
    return g_fake.error_text != nullptr &&
           std::snprintf(out, capacity, "%s", g_fake.error_text) > 0;
}

// No earlier run's worker: that check runs under Wine.
bool process_runs_image(unsigned long, const char*) {
    return false;
}

FolderLock take_folder_lock(OwnerFacts&) {
    return FolderLock::Taken;
}

volatile long* share_refusal_count(bool& foreign) {
    foreign = g_fake.count_foreign;
    return g_fake.count_shared && !foreign ? &g_fake.refusal_count : nullptr;
}

std::uint32_t count_refusal() {
    return g_fake.count_shared && !g_fake.count_foreign
               ? static_cast<std::uint32_t>(++g_fake.refusal_count)
               : 0;
}

std::uint32_t take_refusal_count(volatile long* count) {
    const long taken = *count;
    *count = 0;
    return static_cast<std::uint32_t>(taken);
}

void gather_startup_facts(StartupFacts& facts) {
    facts = StartupFacts{};
}

bool key_available() {
    return g_fake.key_count != 0;
}

int read_key() {
    const int key = g_fake.keys[g_fake.key_head];
    g_fake.key_head = (g_fake.key_head + 1) % 16;
    --g_fake.key_count;
    return key;
}

void console_quick_edit_off() {}
void console_restore_mode() {}
