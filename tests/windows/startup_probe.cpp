// Stands in for the supervisor behind the real process entry: writes argv[0..argc-1] to argv.txt,
// each followed by a zero byte, then "end" if argv[argc] is null. Exits 3 unless the environment
// was taken before it ran.
#include "platform/platform.h"
#include "supervisor/supervisor_main.h"

#include <cstdio>
#include <cstring>

void supervisor_main(int argc, char** argv) {
    if (FILE* f = std::fopen("argv.txt", "wb")) {
        for (int i = 0; i < argc; ++i) {
            std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, f);
        }
        std::fputs(argv[argc] == nullptr ? "end" : "", f);
        std::fclose(f);
    }
    exit_process(get_environment_value("PATH") != nullptr ? 0 : 3);
}
