#pragma once

// The supervisor's entry: builds the worker's argument list and runs the watchdog. Never returns.
[[noreturn]] void supervisor_main(int argc, char** argv);
