// Start-up steps of the Win32 platform, called in this order by the process entry.
#pragma once

// Splits the process's command line by the supervisor's own rule. False when memory is short.
bool split_process_command_line(int* argc, char*** argv);
// Takes the environment that every child inherits.
void take_environment();
// Takes the clock base: the first ticks_now() gives 0.
void start_clock();
