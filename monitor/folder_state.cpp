#include "folder_state.h"

static Verdict judge_files(const FolderFacts& facts, std::uint32_t stale_seconds) {
    if (!facts.is_folder) {
        return {State::unknown, Reason::no_folder};
    }
    if (facts.status == StatusFile::missing) {
        return {State::critical,
                facts.lock_held ? Reason::status_file_missing : Reason::no_status_file};
    }
    if (facts.age_known && facts.status_ahead > future_slack_seconds) {
        return {State::critical, Reason::status_in_future};
    }
    if (facts.age_known && facts.status_age > stale_seconds) {
        return {State::critical,
                facts.lock_held ? Reason::supervisor_hangs : Reason::supervisor_not_running};
    }
    if (facts.status == StatusFile::parsed) {
        if (facts.line.pid == -1) {
            return {State::critical, Reason::launch_failed};
        }
        if (!facts.worker_running) {
            return {State::critical, Reason::worker_gone};
        }
    }
    // Never consumed: no check ever finds the heartbeat missing, so the worker is not watched.
    switch (facts.heartbeat) {
    case Heartbeat::folder:
        return {State::critical, Reason::heartbeat_folder};
    case Heartbeat::read_only:
        return {State::critical, Reason::heartbeat_read_only};
    case Heartbeat::unreadable:
        return {State::critical, Reason::heartbeat_unreadable};
    case Heartbeat::absent:
    case Heartbeat::file:
        break;
    }
    if (!facts.fkill_found) {
        return {State::warning, Reason::no_fkill};
    }
    if (facts.status == StatusFile::unreadable) {
        return {State::unknown, Reason::status_unreadable};
    }
    if (facts.status == StatusFile::unparsable) {
        return {State::unknown, Reason::status_unparsable};
    }
    return {State::ok, Reason::ok};
}

Verdict judge_folder(const FolderFacts& facts, std::uint32_t stale_seconds) {
    Verdict verdict = judge_files(facts, stale_seconds);
    if (anything_to_say(facts.access) && worse_state(State::warning, verdict.state)) {
        verdict.state = State::warning;
    }
    return verdict;
}

static int rank(State state) {
    switch (state) {
    case State::critical:
        return 3;
    case State::warning:
        return 2;
    case State::unknown:
        return 1;
    case State::ok:
        break;
    }
    return 0;
}

bool worse_state(State a, State b) {
    return rank(a) > rank(b);
}

std::int64_t signed_status_age(const FolderFacts& facts) {
    return facts.status_ahead != 0 ? -std::int64_t{facts.status_ahead}
                                   : std::int64_t{facts.status_age};
}

bool status_fresh(const FolderFacts& facts, std::uint32_t stale_seconds) {
    return facts.age_known && facts.status_ahead <= future_slack_seconds &&
           facts.status_age <= stale_seconds;
}
