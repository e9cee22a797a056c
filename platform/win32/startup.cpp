// The process entry: the supervisor's own start-up, in place of the C runtime's argument list.
#include "startup.h"
#include "../../supervisor/supervisor_main.h"
#include "../platform.h"

int main() {
    int argc = 0;
    char** argv = nullptr;
    if (!split_process_command_line(&argc, &argv)) {
        print_message(out_of_memory_message);
        exit_process(1);
    }
    take_environment();
    // Last, so that the supervisor's first reading of the clock is 0 or a few hundredths.
    start_clock();
    supervisor_main(argc, argv);
}
