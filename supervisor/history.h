// The watch's history in the Application event log: fixed event IDs, at most a few events of one
// ID an hour, and the log's refusals said on standard error. Never in the way of the watch: an
// event that cannot be written is dropped.
#pragma once

#include "../platform/platform.h"
#include "../watch/status_line.h"

#include <cstddef>
#include <cstdint>

// Never renumbered: one registered message file serves every version.
enum class EventId : std::uint32_t {
    Start = 1,
    RestartHung = 2,
    RestartEnded = 3,
    Escape = 4,
    Refused = 5,
    TooManyArguments = 6,
    Summary = 7,
    // The warnings and notices of standard error.
    StatusUnwritable = 10,
    StatusWritten = 11,
    HeartbeatFolder = 12,
    HeartbeatNoFolder = 13,
    HeartbeatStuck = 14,
    HeartbeatDeleted = 15,
    KillFailed = 16,
    LookFailed = 17,
    LookedAtAgain = 18,
    CommandStopped = 19,
    LaunchFailed = 20,
    StartedAgain = 21,
    EarlierWorker = 22,
    SystemFolder = 23, // the folder checks, in the order of FolderCheck
    NetworkFolder = 24,
    WorkerBesideSupervisor = 25,
    Virtualised = 26,
    LockUnavailable = 27,
    EventsTakenAgain = 28,
    ForeignRefusalCount = 29, // another program made the memory of our count's name
    SurvivorEnded = 30,       // a worker that survived its kill has ended
    OthersMayWrite = 31,      // another account may change what runs from the folder
};
constexpr std::size_t event_id_count = 32;

// Events of one ID written within an hour of its first; the rest are counted and summed up.
constexpr std::uint32_t events_per_hour = 10;
constexpr Ticks history_hour = 3600u * 100u;
// The most refused starts an hour that a summary believes of the shared count: one a second.
constexpr std::uint32_t refusals_per_hour_most = 3600;

struct EventWindow {
    Ticks start;                    // the instant of the window's first event
    std::uint32_t written;          // 0: no window open
    std::uint32_t left_out;         // counted, not written
    EventType type;                 // of the last one left out
    char last[launch_warning_size]; // its sentence, cut to fit
};

struct History {
    bool registered; // the source is registered
    bool refused;    // the log refused the last event; warned once
    bool held_back;  // some window has events left out: the loop looks for its end
    EventWindow window[event_id_count];
    volatile long* refusals; // the refused starts, counted by themselves; null where not shared
    bool refusals_seen;      // the loop saw the count above 0 at refusals_since
    Ticks refusals_since;
};

// Registers the source, as the process starts.
void history_start(History& history);
void history_event(History& history, EventType type, EventId id, const char* sentence);
// A line of standard error said there and as an event: a warning ("warning: ...") as Warning,
// a notice as Information, without the "warning: " and the line end.
void history_say(History& history, EventId id, const char* line);
// The summaries of the windows whose hour has ended, and of the refused starts an hour after the
// first that the loop saw; for the loop, while held_back is set or refusals counts any.
void history_summaries(History& history);

// What is held back, summed up at once, whatever the hour: for the end of the watch, before its
// last event, so that the log counts every event of the run.
void history_end(History& history);

// For the supervisor that took the folder's lock: shares the count of refused starts, and warns
// where another program made memory of its name first.
void history_share_refusals(History& history);
// A refused start: counted with the others, its event written while the hour holds at most
// events_per_hour of them. holder: who holds the folder's lock, as put_lock_holder says it.
void history_refused(History& history, const char* holder);
