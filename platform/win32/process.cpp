// placeholder until the launch code lands
#include "../platform.h"
#include "startup.h"
#include <cstdlib>
#include <windows.h>
bool split_process_command_line(int* argc, char*** argv) {
    static char* none[2] = {nullptr, nullptr};
    static char name[] = "supervisor";
    none[0] = name;
    *argc = 1;
    *argv = none;
    return true;
}
void take_environment() {}
int start_program(LaunchMode, const char*, const char* const*) {
    return -1;
}
int launch_child(const char*, const char* const*, ProcessPin* pin) {
    if (pin)
        *pin = 0;
    return -1;
}
void release_pin(ProcessPin* pin) {
    *pin = 0;
}
int run_shell_command(const char* text) {
    return text ? -1 : 1;
}
const char* get_environment_value(const char*) {
    return nullptr;
}
