// The texts that the watchdog formats: the status line, the kill command and its warning.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for each text with the largest numbers.
constexpr std::size_t status_text_size = 96;

// "running since  S seconds, restarts R , PID P \n"
void format_status_line(char (&out)[status_text_size], std::uint32_t seconds,
                        std::uint32_t restarts, std::int32_t pid);
// "fkill P > nul"
void format_kill_command(char (&out)[status_text_size], std::int32_t pid);
// "warning: the kill of worker PID P failed; a second worker is started beside it\n"
void format_kill_failed_warning(char (&out)[status_text_size], std::int32_t pid);
