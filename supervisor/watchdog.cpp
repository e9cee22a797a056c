#include "watchdog.h"

#include "../watch/status_line.h"
#include "event_sentences.h"

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

// A failed launch is retried at each check; it is said once, with the system's reason, after the
// event that names the launch.
static void say_launch(WatchdogState& state) {
    const bool failed = state.pid == -1;
    if (failed && !state.launch_failing) {
        const std::uint32_t code = last_launch_error();
        char reason[launch_warning_size] = {};
        char warning[launch_warning_size] = {};
        format_launch_failed_warning(warning, code,
                                     error_text(code, reason, sizeof reason) ? reason : nullptr);
        history_say(*state.history, EventId::LaunchFailed, warning);
    } else if (!failed && state.launch_failing) {
        char notice[status_text_size] = {};
        format_started_again_notice(notice, state.pid);
        history_say(*state.history, EventId::StartedAgain, notice);
    }
    state.launch_failing = failed;
}

// The worker's own arguments: those after "kq2.exe /z".
static int passed_arguments(const ChildArgv& child_argv) {
    int count = 0;
    while (child_argv.slot[count + 2] != nullptr) {
        ++count;
    }
    return count;
}

// ESC ends the supervisor; any other key is dropped.
static bool escape_pressed() {
    return key_available() && read_key() == escape_key;
}

void watchdog_start(WatchdogState& state, const ChildArgv& child_argv, History& history) {
    state.child_argv = &child_argv;
    state.history = &history;
    static const volatile long no_refusals = 0;
    state.refusals = history.refusals != nullptr ? history.refusals : &no_refusals;
    state.pin = 0;
    state.status_unwritable = false;
    state.heartbeat_folder = false;
    state.heartbeat_stuck = false;
    state.look_failures = 0;
    state.heartbeat_unseen = false;
    state.launch_failing = false;
    state.survivors = 0;
    state.survivors_due = false;
    state.reference = ticks_now();
    launch_worker(state);
    state.restarts = 1;
    char text[event_text_size] = {};
    format_start_event(text, KQ2_VERSION, passed_arguments(child_argv), state.pid);
    history_event(history, EventType::Information, EventId::Start, text);
    say_launch(state);
    sleep_seconds(1);
    state.now = ticks_now();
}

// One warning when a condition that weakens the watch begins, one notice when it ends; the
// notice's event ID follows the warning's.
static void report_change(History& history, bool& flag, bool holds, EventId warning_id,
                          const char* warning, const char* notice) {
    if (holds && !flag) {
        history_say(history, warning_id, warning);
    } else if (!holds && flag) {
        history_say(history, static_cast<EventId>(static_cast<std::uint32_t>(warning_id) + 1),
                    notice);
    }
    flag = holds;
}

// Runs one of the supervisor's own commands; one that had to be stopped is said each time.
static void run_command(const WatchdogState& state, const char* command) {
    bool timed_out = false;
    run_shell_command(command, &timed_out);
    if (timed_out) {
        char warning[status_text_size] = {};
        format_stopped_command_warning(warning, command);
        history_say(*state.history, EventId::CommandStopped, warning);
    }
}

static void restart_worker(WatchdogState& state) {
    RestartFacts facts{};
    facts.pid = state.pid;
    facts.seconds = status_seconds(state.now, state.reference);
    facts.killed = true; // a failed launch left nothing to end
    // The pin guarantees that this ID is still the worker's, alive or not; a failed launch has no
    // process to end.
    if (state.pid != -1) {
        // Asked of the pin before the kill: whether it had ended, and then with which code.
        facts.ended = pinned_exit_code(state.pin, &facts.exit_code);
        char command[status_text_size] = {};
        format_kill_command(command, state.pid);
        run_command(state, command);
        // fkill returns once the process has ended, so this wait costs nothing unless fkill is
        // missing, refused or hung: then two workers run side by side, and the user must know.
        facts.killed = wait_pinned_exit(state.pin, kill_wait_ms);
    }
    // A survivor stays pinned until it has ended, unless the table is full.
    const bool kept = !facts.killed && state.survivors < survivors_most;
    if (kept) {
        state.survivor[state.survivors++] = Survivor{state.pid, state.pin};
        state.pin = 0;
    }
    release_pin(&state.pin);
    launch_worker(state);
    ++state.restarts;
    // Written after the kill and the relaunch, so that each sentence says what happened. A failed
    // launch retried has no restart event: its warning and its notice tell it.
    if (facts.pid != -1) {
        facts.new_pid = state.pid;
        facts.restarts = state.restarts;
        char text[event_text_size] = {};
        const bool ended = format_restart_event(text, facts);
        history_event(*state.history, EventType::Warning,
                      ended ? EventId::RestartEnded : EventId::RestartHung, text);
    }
    if (!facts.killed) {
        char warning[status_text_size] = {};
        if (kept) {
            format_kill_failed_warning(warning, facts.pid);
        } else {
            format_survivor_let_go_warning(warning, facts.pid);
        }
        history_say(*state.history, EventId::KillFailed, warning);
    }
    say_launch(state);
}

// The oldest survivor that still runs is named to fkill again, whatever has ended before it: each
// kill may take up to the command limit, so a younger one waits its turn. Those that have ended
// are let go, each said once and in the order they were pinned; a retry that fails is not said.
static void name_survivors(WatchdogState& state) {
    Survivor* const table = state.survivor;
    std::uint32_t code = 0;
    char text[status_text_size] = {};
    for (std::uint32_t i = 0; i < state.survivors; ++i) {
        if (!pinned_exit_code(table[i].pin, &code)) {
            format_kill_command(text, table[i].pid);
            run_command(state, text);
            break;
        }
    }
    // Each asked once after the kill, so that the notices and the table agree.
    std::uint32_t ended = 0; // bit i: survivor i has ended
    bool running = false;
    for (std::uint32_t i = 0; i < state.survivors; ++i) {
        if (pinned_exit_code(table[i].pin, &code)) {
            ended |= 1u << i;
        } else {
            running = true;
        }
    }
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < state.survivors; ++i) {
        if ((ended >> i & 1u) == 0) {
            table[kept++] = table[i];
            continue;
        }
        release_pin(&table[i].pin);
        // The last one let go, none running: the watch covers one worker again.
        format_survivor_ended_notice(text, table[i].pid, !running && ended >> i == 1u);
        history_say(*state.history, EventId::SurvivorEnded, text);
    }
    state.survivors = kept;
}

static void consume_heartbeat(WatchdogState& state) {
    unsigned long error = 0;
    run_command(state, "del check.txt > nul");
    // A delete-pending file answers "access denied" (XP to 8.1; Wine reports it as present), so
    // a look that fails here is no sign of a heartbeat left behind.
    PathKind left = path_kind(heartbeat_file, &error);
    if (left == PathKind::File) {
        // Windows' del skips hidden and system files (Wine's does not), and under UAC
        // virtualisation cmd.exe looks in the real folder while the supervisor and its worker see
        // the VirtualStore copy.
        delete_file(heartbeat_file);
        left = path_kind(heartbeat_file, &error);
    }
    // A heartbeat left in place counts at every later check, so a hang would go unseen. A failed
    // look proves nothing either way: it neither warns nor ends the warning, the check is made all
    // the same, and the look after the next delete decides.
    if (left != PathKind::Unknown) {
        report_change(*state.history, state.heartbeat_stuck, left != PathKind::Absent,
                      EventId::HeartbeatStuck,
                      "warning: the heartbeat check.txt could not be deleted, so a hung "
                      "worker cannot be detected\n",
                      "the heartbeat check.txt is deleted again; a hung worker is detected "
                      "again\n");
    }
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
            history_say(*state.history, EventId::LookFailed, warning);
            state.heartbeat_unseen = true;
        }
        return false;
    }
    state.look_failures = 0;
    report_change(*state.history, state.heartbeat_unseen, false, EventId::LookFailed, "",
                  "check.txt can be looked at again; the worker is watched again\n");
    // A folder counts as a heartbeat, but "del" on it would wait for a confirmation that nobody
    // sees and, once answered, empty it: it is never handed to the delete command.
    report_change(*state.history, state.heartbeat_folder, heartbeat == PathKind::Directory,
                  EventId::HeartbeatFolder,
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
    report_change(*state.history, state.status_unwritable, !write_text_file(status_file, line),
                  EventId::StatusUnwritable,
                  "warning: cannot write log_kq.txt; the watchdog goes on\n",
                  "log_kq.txt is written again\n");
}

bool watchdog_pass(WatchdogState& state) {
    if (escape_pressed()) {
        return false;
    }
    // The clock as last read before the sleep.
    Ticks before_sleep = state.now;
    if (elapsed_seconds(state.now, state.reference) > heartbeat_limit_seconds) {
        if (check_heartbeat(state)) {
            before_sleep = state.reference;
            state.survivors_due = true;
        }
    } else if (state.survivors_due) {
        // One shell command a pass, so that log_kq.txt and ESC wait for no more than one: the
        // survivor's kill comes in the pass after the check, and even hanging to the command limit
        // it has ended nearly half a minute before the next check is due.
        state.survivors_due = false;
        name_survivors(state);
        before_sleep = ticks_now();
    }
    sleep_seconds(1);
    write_status(state);
    // The history's looks on the way of every pass: its own flag, and the count of the refused
    // starts, which they change themselves.
    if (state.history->held_back || *state.refusals != 0) {
        history_summaries(*state.history);
    }
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

void watchdog_end(const WatchdogState& state) {
    std::uint32_t code = 0;
    char text[event_text_size] = {};
    format_escape_event(text, pinned_exit_code(state.pin, &code) ? -1 : state.pid);
    history_end(*state.history);
    history_event(*state.history, EventType::Information, EventId::Escape, text);
}

void run_watchdog(WatchdogState& state, const ChildArgv& child_argv, History& history) {
    watchdog_start(state, child_argv, history);
    while (watchdog_pass(state)) {
    }
    watchdog_end(state);
    console_restore_mode();
    // The worker is left running: its pin closes with the process.
    exit_process(0);
}
