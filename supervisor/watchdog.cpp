#include "watchdog.h"

#include "status_line.h"

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

static void launch_worker(WatchdogState& state) {
    state.pid = launch_child(worker_path, state.child_argv->slot, &state.pin);
}

// ESC ends the supervisor; any other key is dropped.
static bool escape_pressed() {
    return key_available() && read_key() == escape_key;
}

void watchdog_start(WatchdogState& state, const ChildArgv& child_argv) {
    state.child_argv = &child_argv;
    state.pin = 0;
    state.status_unwritable = false;
    state.reference = ticks_now();
    launch_worker(state);
    state.restarts = 1;
    sleep_seconds(1);
    state.now = ticks_now();
}

static void check_heartbeat(WatchdogState& state) {
    if (file_exists(heartbeat_file) != 0) {
        // The pin guarantees that this ID is still the worker's, alive or not; a failed launch
        // has no process to end.
        if (state.pid != -1) {
            char command[status_text_size] = {};
            format_kill_command(command, state.pid);
            run_shell_command(command);
        }
        release_pin(&state.pin);
        launch_worker(state);
        ++state.restarts;
    } else {
        run_shell_command("del check.txt > nul");
    }
    state.reference = ticks_now();
}

static void write_status(WatchdogState& state) {
    char line[status_text_size] = {};
    format_status_line(line, status_seconds(state.now, state.reference), state.restarts, state.pid);
    const bool written = write_text_file(status_file, line);
    if (!written && !state.status_unwritable) {
        print_warning("warning: cannot write log_kq.txt; the watchdog goes on\n");
    } else if (written && state.status_unwritable) {
        print_warning("log_kq.txt is written again\n");
    }
    state.status_unwritable = !written;
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
