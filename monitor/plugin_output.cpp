#include "plugin_output.h"

const char* state_name(State state) {
    switch (state) {
    case State::ok:
        return "OK";
    case State::warning:
        return "WARNING";
    case State::critical:
        return "CRITICAL";
    case State::unknown:
        break;
    }
    return "UNKNOWN";
}

void put_echoed(TextBuf& out, const char* text) {
    for (; *text != '\0'; ++text) {
        put_char(out, *text == '|' ? '/' : *text);
    }
}

static void put_count(TextBuf& out, std::uint64_t count, const char* one, const char* many) {
    put_unsigned(out, count);
    put_text(out, count == 1 ? one : many);
}

// Seconds until the supervisor's next check, counted from now.
static std::uint32_t next_check_in(const FolderFacts& facts) {
    const std::uint64_t since = std::uint64_t{facts.line.seconds} + facts.status_age;
    return since < check_interval_seconds
               ? static_cast<std::uint32_t>(check_interval_seconds - since)
               : 1;
}

static void put_error(TextBuf& out, std::uint32_t error) {
    put_text(out, " (error ");
    put_unsigned(out, error);
    put_char(out, ')');
}

// " (lock held by DOMAIN\user)" where the held lock is another account's, named: in the usual
// deployment kq2stat runs as SYSTEM and the supervisor as a user, so that is where to go. Its owner
// cannot tell a supervisor from a program squatting the name; both are named alike.
static void put_held_by(TextBuf& out, const FolderFacts& facts) {
    const char* account = facts.lock_held ? other_account(facts.lock_owner) : nullptr;
    if (account != nullptr && *account != '\0') {
        put_text(out, " (lock held by ");
        put_text(out, account);
        put_char(out, ')');
    }
}

// One folder's reason in plain words; named: its path is already said before it.
static void put_files_reason(TextBuf& out, const FolderFacts& facts, const Verdict& verdict,
                             bool named) {
    switch (verdict.reason) {
    case Reason::ok:
        put_text(out, "worker PID ");
        put_signed(out, facts.line.pid);
        put_text(out, " running, ");
        put_count(out, facts.line.restarts, " launch", " launches");
        put_text(out, ", last check ");
        put_unsigned(out, facts.line.seconds);
        put_text(out, " s ago");
        return;
    case Reason::no_folder:
        if (!named) {
            put_echoed(out, facts.folder);
        }
        put_text(out, named ? "no such folder" : " is no folder");
        return;
    case Reason::no_status_file:
        put_text(out, "no supervisor ran here: log_kq.txt is missing");
        return;
    case Reason::status_file_missing:
        put_text(out, "supervisor holds this folder's lock but log_kq.txt is missing");
        put_held_by(out, facts);
        return;
    case Reason::supervisor_hangs:
    case Reason::supervisor_not_running:
    case Reason::status_in_future:
        // A stale file under a held lock is a hang, whichever account kq2stat runs as.
        put_text(out, facts.lock_held ? "supervisor hangs" : "supervisor not running");
        put_held_by(out, facts);
        if (verdict.reason == Reason::status_in_future) {
            put_text(out, ": log_kq.txt is dated ");
            put_unsigned(out, facts.status_ahead);
            put_text(out, " s in the future");
            return;
        }
        put_text(out, ": log_kq.txt last written ");
        put_unsigned(out, facts.status_age);
        put_text(out, " s ago");
        return;
    case Reason::launch_failed:
        put_text(out, "the last launch of kq2.exe failed (");
        put_count(out, facts.line.restarts, " launch", " launches");
        put_text(out, "); the supervisor tries again at the next check, within ");
        break;
    case Reason::worker_gone:
        put_text(out, "worker PID ");
        put_signed(out, facts.line.pid);
        put_text(out, " is not running; the supervisor relaunches it at the next check, within ");
        break;
    case Reason::heartbeat_folder:
        put_text(out, "check.txt is a folder, which the supervisor never deletes: the worker is "
                      "not watched");
        return;
    case Reason::heartbeat_read_only:
        put_text(out, "check.txt is read-only, which the supervisor cannot delete: the worker is "
                      "not watched");
        return;
    case Reason::heartbeat_unreadable:
        put_text(out, "check.txt cannot be looked at");
        put_error(out, facts.heartbeat_error);
        put_text(out, ": the worker is not watched");
        return;
    case Reason::no_fkill:
        put_text(out, "fkill.exe found neither in the folder nor along PATH: the supervisor cannot "
                      "end a hung worker");
        return;
    case Reason::status_unreadable:
        put_text(out, "log_kq.txt cannot be read");
        put_error(out, facts.status_error);
        return;
    case Reason::status_unparsable:
        put_text(out, "log_kq.txt holds no status line");
        return;
    }
    put_unsigned(out, next_check_in(facts));
    put_text(out, " s");
}

// The reason, and who else may change what runs from the folder.
static void put_reason(TextBuf& out, const FolderFacts& facts, const Verdict& verdict, bool named) {
    put_files_reason(out, facts, verdict, named);
    if (anything_to_say(facts.access)) {
        put_text(out, "; ");
        put_write_access(out, facts.access, facts.folder);
    }
}

// "name=value" + unit + ";;critical;0", the label numbered with several folders.
static void put_perf(TextBuf& out, const char* name, std::size_t position, std::int64_t value,
                     const char* unit, const std::uint32_t* critical) {
    put_char(out, ' ');
    put_text(out, name);
    if (position != 0) {
        put_char(out, '_');
        put_unsigned(out, position);
    }
    put_char(out, '=');
    put_signed(out, value);
    put_text(out, unit);
    put_text(out, ";;");
    if (critical != nullptr) {
        put_unsigned(out, *critical);
    }
    put_text(out, ";0");
}

static void put_perfdata(TextBuf& out, const FolderFacts& facts, std::size_t position,
                         std::uint32_t stale_seconds) {
    if (!facts.is_folder) {
        return;
    }
    if (facts.age_known) {
        put_perf(out, "status_age", position, signed_status_age(facts), "s", &stale_seconds);
    }
    if (facts.status == StatusFile::parsed) {
        put_perf(out, "since_check", position, facts.line.seconds, "s", nullptr);
        put_perf(out, "launches", position, facts.line.restarts, "c", nullptr);
    }
}

State format_plugin_output(TextBuf& out, const FolderFacts* facts, const Verdict* verdicts,
                           std::size_t count, std::uint32_t stale_seconds, const char* failure,
                           bool own) {
    const bool own_said = own && anything_to_say(facts[count].access);
    std::size_t worst = 0;
    std::size_t tally[4] = {};
    for (std::size_t i = 0; i < count; ++i) {
        ++tally[static_cast<int>(verdicts[i].state)];
        if (worse_state(verdicts[i].state, verdicts[worst].state)) {
            worst = i;
        }
    }
    State state = verdicts[worst].state;
    if (failure != nullptr && worse_state(State::unknown, state)) {
        state = State::unknown;
    }
    if (own_said && worse_state(State::warning, state)) {
        state = State::warning;
    }
    put_text(out, "KQ2 ");
    put_text(out, state_name(state));
    put_text(out, " - ");
    if (failure != nullptr) {
        put_echoed(out, failure);
        put_text(out, "; ");
    }
    if (own_said) {
        put_text(out, "kq2stat's folder: ");
        put_write_access(out, facts[count].access, facts[count].folder);
        put_text(out, "; ");
    }
    if (count > 1) {
        put_echoed(out, facts[worst].folder);
        put_text(out, ": ");
    }
    put_reason(out, facts[worst], verdicts[worst], count > 1);
    if (count > 1) {
        put_text(out, "; ");
        put_unsigned(out, count);
        put_text(out, " folders:");
        const char* const separators[] = {" ", ", ", ", ", ", "};
        const State order[] = {State::critical, State::warning, State::unknown, State::ok};
        for (std::size_t i = 0; i < 4; ++i) {
            put_text(out, separators[i]);
            put_unsigned(out, tally[static_cast<int>(order[i])]);
            put_char(out, ' ');
            put_text(out, state_name(order[i]));
        }
    }
    const std::size_t bar = out.size;
    put_text(out, " |");
    for (std::size_t i = 0; i < count; ++i) {
        put_perfdata(out, facts[i], count > 1 ? i + 1 : 0, stale_seconds);
    }
    if (!out.overflow && out.size == bar + 2) { // no perfdata, no bar
        out.size = bar;
        out.data[bar] = '\0';
    }
    put_char(out, '\n');
    for (std::size_t i = 0; count > 1 && i < count; ++i) {
        put_echoed(out, facts[i].folder);
        put_text(out, ": ");
        put_text(out, state_name(verdicts[i].state));
        put_text(out, " - ");
        put_reason(out, facts[i], verdicts[i], true);
        put_char(out, '\n');
    }
    return state;
}
