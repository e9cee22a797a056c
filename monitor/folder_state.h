// What state a watched folder is in, judged from facts that kq2stat gathered there. No
// operating system here: the facts come in, the verdict goes out.
#pragma once

#include "watch/object_owner.h"
#include "watch/status_line.h"
#include "watch/write_access.h"

#include <cstdint>

// The Monitoring Plugins exit statuses.
enum class State : int { ok = 0, warning = 1, critical = 2, unknown = 3 };

enum class StatusFile { missing, unreadable, unparsable, parsed };
enum class Heartbeat { absent, file, folder, read_only, unreadable };

struct FolderFacts {
    const char* folder; // its full path, in UTF-8
    StatusFile status;
    std::uint32_t status_error; // the system's error when log_kq.txt could not be read
    std::uint32_t status_age;   // whole seconds since log_kq.txt was last written
    std::uint32_t status_ahead; // whole seconds that its write time is ahead of the clock
    StatusLine line;            // when status is parsed
    Heartbeat heartbeat;
    std::uint32_t heartbeat_error;
    bool is_folder;
    bool age_known;        // log_kq.txt was opened and its time read
    bool lock_held;        // a supervisor holds the folder's lock, whichever account's
    OwnerFacts lock_owner; // the lock's owner, where it could be opened
    bool worker_running;   // line.pid names a running kq2.exe
    bool fkill_found;
    WriteAccess access; // who else may change what runs from the folder, beside the supervisor
};

enum class Reason {
    ok,
    no_folder,
    no_status_file,      // and no lock: no supervisor ran here
    status_file_missing, // under a held lock: a supervisor that cannot write it
    supervisor_hangs,
    supervisor_not_running,
    status_in_future,
    launch_failed,
    worker_gone,
    heartbeat_folder,
    heartbeat_read_only,
    heartbeat_unreadable,
    no_fkill,
    status_unreadable,
    status_unparsable,
};

struct Verdict {
    State state;
    Reason reason;
};

// A write time ahead of the clock by more than this is no sign of life: a clock set back (a wrong
// clock at boot, a machine restored from a snapshot) would hide a dead supervisor. Less is the
// file system's rounding, or another machine's clock on a share.
constexpr std::uint32_t future_slack_seconds = 5;

// Stale: log_kq.txt last written more than stale_seconds ago, or dated in the future. Who else may
// change what runs from the folder makes it at least WARNING; the reason stays the files'.
Verdict judge_folder(const FolderFacts& facts, std::uint32_t stale_seconds);
// Worst first: CRITICAL, WARNING, UNKNOWN, OK, so that a folder that cannot be read never hides
// a dead supervisor in another.
bool worse_state(State a, State b);
// The status file's age, negative when it is dated ahead of the clock.
std::int64_t signed_status_age(const FolderFacts& facts);
// Whether log_kq.txt was rewritten within the stale limit.
bool status_fresh(const FolderFacts& facts, std::uint32_t stale_seconds);
