// The texts that the watchdog formats: the status line and the kill command.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for either text with the largest numbers.
constexpr std::size_t status_text_size = 96;

// "running since  S seconds, restarts R , PID P \n"
void format_status_line(char (&out)[status_text_size], std::uint32_t seconds,
                        std::uint32_t restarts, std::int32_t pid);
// "fkill P > nul"
void format_kill_command(char (&out)[status_text_size], std::int32_t pid);
