#include "watchdog.h"

#include "../watch/status_line.h"

static const char worker_path[] = "kq2.exe";
static const char heartbeat_file[] = "check.txt";
static const char status_file[] = "log_kq.txt";

static std::uint32_t elapsed_seconds(Ticks now, Ticks reference) {
    return (now - reference) / 100u;
}

std::uint32_t status_seconds(Ticks now, Ticks reference) {
    // A check resets the reference after now was read; the difference is then "negative".
    const auto ahead = static_cast<std::int32_t>(now - reference);
    return ahead < 0 ? 0u : elapsed_seconds(now, reference);
}

// A failed launch is retried at each check; it is said once, with the system's reason.
static void launch_worker(WatchdogState& state) {
    state.pid = launch_child(worker_path, state.child_argv->slot, &state.pin);
    const bool failed = state.pid == -1;
    if (failed && !state.launch_failing) {
        const std::uint32_t code = last_launch_error();
        char reason[launch_warning_size] = {};
        char warning[launch_warning_size] = {};
        format_launch_failed_warning(warning, code,
                                     error_text(code, reason, sizeof reason) ? reason : nullptr);
        print_warning(warning);
    } else if (!failed && state.launch_failing) {
        char notice[status_text_size] = {};
        format_started_again_notice(notice, state.pid);
        print_warning(notice);
    }
    state.launch_failing = failed;
}

// ESC ends the supervisor; any other key is dropped.
static bool escape_pressed() {
    return key_available() && read_key() == escape_key;
}

void watchdog_start(WatchdogState& state, const ChildArgv& child_argv) {
    state.child_argv = &child_argv;
    state.pin = 0;
    state.status_unwritable = false;
    state.heartbeat_folder = false;
    state.heartbeat_stuck = false;
    state.launch_failing = false;
    state.reference = ticks_now();
    launch_worker(state);
    state.restarts = 1;
    sleep_seconds(1);
    state.now = ticks_now();
}

// One warning when a condition that weakens the watch begins, one notice when it ends.
static void report_change(bool& flag, bool holds, const char* warning, const char* notice) {
    if (holds && !flag) {
        print_warning(warning);
    } else if (!holds && flag) {
        print_warning(notice);
    }
    flag = holds;
}

static void restart_worker(WatchdogState& state) {
    // The pin guarantees that this ID is still the worker's, alive or not; a failed launch has no
    // process to end.
    if (state.pid != -1) {
        char command[status_text_size] = {};
        format_kill_command(command, state.pid);
        run_shell_command(command);
        // fkill returns once the process has ended, so this wait costs nothing unless fkill is
        // missing, refused or hung: then two workers run side by side, and the user must know.
        if (!wait_pinned_exit(state.pin, kill_wait_ms)) {
            char warning[status_text_size] = {};
            format_kill_failed_warning(warning, state.pid);
            print_warning(warning);
        }
    }
    release_pin(&state.pin);
    launch_worker(state);
    ++state.restarts;
}

static void check_heartbeat(WatchdogState& state) {
    const PathKind heartbeat = path_kind(heartbeat_file);
    // A folder counts as a heartbeat, but "del" on it would wait for a confirmation that nobody
    // sees and, once answered, empty it: it is never handed to the delete command.
    report_change(state.heartbeat_folder, heartbeat == PathKind::Directory,
                  "warning: check.txt is a folder, which is never deleted, so the worker is not "
                  "being watched\n",
                  "check.txt is no longer a folder; the worker is watched again\n");
    if (heartbeat == PathKind::Absent) {
        restart_worker(state);
    } else if (heartbeat == PathKind::File) {
        run_shell_command("del check.txt > nul");
        // A heartbeat left in place counts at every later check, so a hang would go unseen.
        report_change(state.heartbeat_stuck, path_kind(heartbeat_file) != PathKind::Absent,
                      "warning: the heartbeat check.txt could not be deleted, so a hung "
                      "worker cannot be detected\n",
                      "the heartbeat check.txt is deleted again; a hung worker is detected "
                      "again\n");
    }
    state.reference = ticks_now();
}

static void write_status(WatchdogState& state) {
    char line[status_text_size] = {};
    format_status_line(line, status_seconds(state.now, state.reference), state.restarts, state.pid);
    report_change(state.status_unwritable, !write_text_file(status_file, line),
                  "warning: cannot write log_kq.txt; the watchdog goes on\n",
                  "log_kq.txt is written again\n");
}

bool watchdog_pass(WatchdogState& state) {
    if (escape_pressed()) {
        return false;
    }
    if (elapsed_seconds(state.now, state.reference) > heartbeat_limit_seconds) {
        check_heartbeat(state);
    }
    sleep_seconds(1);
    write_status(state);
    if (escape_pressed()) {
        return false;
    }
    state.now = ticks_now();
    return true;
}

void run_watchdog(const ChildArgv& child_argv) {
    static WatchdogState state;
    watchdog_start(state, child_argv);
    while (watchdog_pass(state)) {
    }
    // The worker is left running: its pin closes with the process.
    exit_process(0);
}
