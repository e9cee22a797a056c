// Stands in for the supervisor behind the real process entry: records the argument list that the
// entry hands over, in argv.txt in the current directory. Each entry is followed by a zero byte;
// "end" closes the file when argv[argc] is null.
#include "platform/platform.h"
#include "supervisor/supervisor_main.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

void supervisor_main(int argc, char** argv) {
    FILE* f = std::fopen("argv.txt", "wb");
    if (f != nullptr) {
        std::fprintf(f, "%d", argc);
        std::fputc('\0', f);
        for (int i = 0; i < argc; ++i) {
            std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, f);
        }
        if (argv[argc] == nullptr) {
            std::fputs("end", f);
        }
        std::fclose(f);
    }
    // The environment is taken before the supervisor runs.
    exit_process(get_environment_value("PATH") != nullptr ? 0 : 3);
}
