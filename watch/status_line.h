// The status line that the supervisor writes to log_kq.txt and that its readers parse back, and
// the supervisor's other formatted texts. One place knows the line's format.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for each text with the largest numbers: the longest, the earlier-worker warning with PID
// -2147483648, takes 102 bytes with its zero.
constexpr std::size_t status_text_size = 128;

// "running since  S seconds, restarts R , PID P \n"
void format_status_line(char (&out)[status_text_size], std::uint32_t seconds,
                        std::uint32_t restarts, std::int32_t pid);

struct StatusLine {
    std::uint32_t seconds;  // since the start or the last check
    std::uint32_t restarts; // launches, the first one included
    std::int32_t pid;       // the worker's, -1 when its launch failed
};
// Reads back exactly what format_status_line writes, its LF stored as LF or as CR LF, and nothing
// else: no other blanks, no leading zeros, no "-0", no number out of range, nothing after the line.
bool parse_status_line(const char* text, std::size_t size, StatusLine& out);

// "fkill P > nul"
void format_kill_command(char (&out)[status_text_size], std::int32_t pid);
// "warning: the kill of worker PID P failed; a second worker is started beside it\n"
void format_kill_failed_warning(char (&out)[status_text_size], std::int32_t pid);
// "warning: check.txt cannot be looked at (error N); the worker is not being watched\n"
void format_look_failed_warning(char (&out)[status_text_size], std::uint32_t error);
// "warning: "C" did not end within 30 s and was stopped; the watch goes on\n", for a command C of
// the supervisor's own (at most 23 characters; a longer one is cut there).
void format_stopped_command_warning(char (&out)[status_text_size], const char* command);
// "warning: worker PID P from an earlier run still runs; a second worker is started beside it\n"
void format_earlier_worker_warning(char (&out)[status_text_size], std::int32_t pid);
// "kq2.exe started again as PID P\n"
void format_started_again_notice(char (&out)[status_text_size], std::int32_t pid);

// Room for the launch warning with the system's text, which is cut to fit.
constexpr std::size_t launch_warning_size = 384;
// "warning: cannot start kq2.exe (error N: TEXT); it is tried again at each check\n", or
// "(error N)" where text is null or blank. Line ends in the text become blanks, trailing ones go.
void format_launch_failed_warning(char (&out)[launch_warning_size], std::uint32_t code,
                                  const char* text);
