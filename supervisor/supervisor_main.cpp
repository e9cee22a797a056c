#include "supervisor_main.h"

#include "../platform/platform.h"
#include "child_argv.h"
#include "watchdog.h"

#include <cstdlib>

void supervisor_main(int argc, char** argv) {
    static ChildArgv child;
    switch (build_child_argv(argc, argv, child, std::malloc, std::free)) {
    case ChildArgvStatus::OutOfMemory:
        print_message(out_of_memory_message);
        exit_process(1);
    case ChildArgvStatus::TooManyArguments:
        print_message("too much arguments \n");
        exit_process(1);
    case ChildArgvStatus::Ok:
        break;
    }
    // Only once the command line is accepted: a refused start leaves the console as it was.
    console_quick_edit_off();
    run_watchdog(child);
}
