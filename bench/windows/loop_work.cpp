// The second idle baseline: only the platform calls that every supervisor loop must make (two key
// polls, one sleep, one status-file rewrite), without the watchdog around them.
#include "platform/platform.h"

int main() {
    for (;;) {
        if (key_available()) {
            read_key();
        }
        sleep_seconds(1);
        write_text_file("log_kq.txt", "running since  1 seconds, restarts 1 , PID 1 \n");
        if (key_available()) {
            read_key();
        }
        ticks_now();
    }
}
