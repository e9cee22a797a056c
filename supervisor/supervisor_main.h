#pragma once

// Printed when memory for the start-up or the worker's argument list cannot be had.
inline constexpr char out_of_memory_message[] = "malloc in stub program failed \n";

// The supervisor's entry: builds the worker's argument list and runs the watchdog. Never returns.
[[noreturn]] void supervisor_main(int argc, char** argv);
