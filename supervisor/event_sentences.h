// The sentences of the watch's own events in the event log, each a plain function of its facts.
#pragma once

#include "../watch/status_line.h"

#include <cstddef>
#include <cstdint>

// Room for the longest sentence with the largest numbers.
constexpr std::size_t event_text_size = 192;

// "supervisor V started; kq2.exe with N arguments after /z is PID P"
void format_start_event(char (&out)[event_text_size], const char* version, int arguments,
                        std::int32_t pid);

// What a restart did, gathered at the check (from the pin, before the kill) and after the relaunch.
struct RestartFacts {
    std::int32_t pid;        // the worker that was checked
    bool ended;              // it had ended before the kill
    std::uint32_t exit_code; // then its exit code
    std::uint32_t seconds;   // since the last check, as the status line counts them
    bool killed;             // it had ended once the kill command ran
    std::int32_t new_pid;    // -1 when the relaunch failed
    std::uint32_t restarts;
};
// The restart's sentence; true when the worker had ended by itself, false when it was hung.
bool format_restart_event(char (&out)[event_text_size], const RestartFacts& facts);

// "ended by ESC; worker PID P is left running", or "...; no worker was running" for pid -1.
void format_escape_event(char (&out)[event_text_size], std::int32_t pid);

// "worker PID P, which survived its kill, has ended\n", and for the last survivor
// "...; the watch covers one worker again\n"
void format_survivor_ended_notice(char (&out)[status_text_size], std::int32_t pid, bool last);
// "warning: the kill of worker PID P failed; 16 survivors are kept already, so it is not named
// again: end it by hand\n"
void format_survivor_let_go_warning(char (&out)[status_text_size], std::int32_t pid);
