// The watchdog's texts for any numbers: the same text as the C library's formatting. The status
// line reads back to its numbers, and any bytes that parse as one are a line it writes.
#include "watch/status_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::uint32_t values[3] = {0, 0, 0};
    std::memcpy(values, data, size < sizeof values ? size : sizeof values);
    const std::int32_t pid = static_cast<std::int32_t>(values[2]);

    char line[status_text_size];
    format_status_line(line, values[0], values[1], pid);
    char expected[160];
    std::snprintf(expected, sizeof expected, "running since  %lu seconds, restarts %lu , PID %d \n",
                  static_cast<unsigned long>(values[0]), static_cast<unsigned long>(values[1]),
                  pid);
    if (std::strcmp(line, expected) != 0) {
        std::abort();
    }

    StatusLine back{};
    if (!parse_status_line(line, std::strlen(line), back) || back.seconds != values[0] ||
        back.restarts != values[1] || back.pid != pid) {
        std::abort();
    }
    if (parse_status_line(reinterpret_cast<const char*>(data), size, back)) {
        format_status_line(line, back.seconds, back.restarts, back.pid);
        const std::size_t length = std::strlen(line);
        const bool same = size == length && std::memcmp(line, data, size) == 0;
        const bool same_but_cr = size == length + 1 && std::memcmp(line, data, length - 1) == 0 &&
                                 data[length - 1] == '\r' && data[length] == '\n';
        if (!same && !same_but_cr) {
            std::abort();
        }
    }

    format_kill_command(line, pid);
    std::snprintf(expected, sizeof expected, "fkill %d > nul", pid);
    if (std::strcmp(line, expected) != 0) {
        std::abort();
    }

    format_kill_failed_warning(line, pid);
    std::snprintf(
        expected, sizeof expected,
        "warning: the kill of worker PID %d failed; a second worker is started beside it\n", pid);
    if (std::strcmp(line, expected) != 0) {
        std::abort();
    }
    return 0;
}
