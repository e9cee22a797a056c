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
    state.look_failures = 0;
    state.heartbeat_unseen = false;
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

// Runs one of the supervisor's own commands; one that had to be stopped is said each time.
static void run_command(const char* command) {
    bool timed_out = false;
    run_shell_command(command, &timed_out);
    if (timed_out) {
        char warning[status_text_size] = {};
        format_stopped_command_warning(warning, command);
        print_warning(warning);
    }
}

static void restart_worker(WatchdogState& state) {
    // The pin guarantees that this ID is still the worker's, alive or not; a failed launch has no
    // process to end.
    if (state.pid != -1) {
        char command[status_text_size] = {};
        format_kill_command(command, state.pid);
        run_command(command);
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

static void consume_heartbeat(WatchdogState& state) {
    unsigned long error = 0;
    run_command("del check.txt > nul");
    // A delete-pending file answers "access denied" (XP to 8.1; Wine reports it as present): any
    // look but "not found" or a file or folder counts as deleted.
    PathKind left = path_kind(heartbeat_file, &error);
    if (left == PathKind::File) {
        // Windows' del skips hidden and system files (Wine's does not), and under UAC
        // virtualisation cmd.exe looks in the real folder while the supervisor and its worker see
        // the VirtualStore copy.
        delete_file(heartbeat_file);
        left = path_kind(heartbeat_file, &error);
    }
    // A heartbeat left in place counts at every later check, so a hang would go unseen.
    report_change(state.heartbeat_stuck, left == PathKind::File || left == PathKind::Directory,
                  "warning: the heartbeat check.txt could not be deleted, so a hung "
                  "worker cannot be detected\n",
                  "the heartbeat check.txt is deleted again; a hung worker is detected "
                  "again\n");
}

// False when check.txt could not be looked at: nothing is done and the reference stays, so the
// next pass looks again.
static bool check_heartbeat(WatchdogState& state) {
    unsigned long error = 0;
    const PathKind heartbeat = path_kind(heartbeat_file, &error);
    if (heartbeat == PathKind::Unknown) {
        // Not seen is not gone (antivirus holding it, a network folder blinking): no kill.
        if (++state.look_failures == 2) {
            char warning[status_text_size] = {};
            format_look_failed_warning(warning, static_cast<std::uint32_t>(error));
            print_warning(warning);
            state.heartbeat_unseen = true;
        }
        return false;
    }
    state.look_failures = 0;
    report_change(state.heartbeat_unseen, false, "",
                  "check.txt can be looked at again; the worker is watched again\n");
    // A folder counts as a heartbeat, but "del" on it would wait for a confirmation that nobody
    // sees and, once answered, empty it: it is never handed to the delete command.
    report_change(state.heartbeat_folder, heartbeat == PathKind::Directory,
                  "warning: check.txt is a folder, which is never deleted, so the worker is not "
                  "being watched\n",
                  "check.txt is no longer a folder; the worker is watched again\n");
    if (heartbeat == PathKind::Absent) {
        restart_worker(state);
    } else if (heartbeat == PathKind::File) {
        consume_heartbeat(state);
    }
    state.reference = ticks_now();
    return true;
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
    // The clock as last read before the sleep.
    Ticks before_sleep = state.now;
    if (elapsed_seconds(state.now, state.reference) > heartbeat_limit_seconds &&
        check_heartbeat(state)) {
        before_sleep = state.reference;
    }
    sleep_seconds(1);
    write_status(state);
    if (escape_pressed()) {
        return false;
    }
    state.now = ticks_now();
    // Windows' tick count goes on while the machine sleeps or hibernates (Microsoft, "Windows
    // Time"; Wine's stops), so after a resume the check would come at once and find the heartbeat
    // consumed just before. The time beyond the second is left out: the check comes when it would
    // have.
    const Ticks slept = state.now - before_sleep;
    if (slept > suspend_ticks) {
        state.reference += slept - 100;
    }
    return true;
}

void run_watchdog(const ChildArgv& child_argv) {
    static WatchdogState state;
    watchdog_start(state, child_argv);
    while (watchdog_pass(state)) {
    }
    console_restore_mode();
    // The worker is left running: its pin closes with the process.
    exit_process(0);
}
