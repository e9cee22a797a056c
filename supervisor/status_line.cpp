#include "status_line.h"

#include <cstring>

namespace {

struct Writer {
    char* out;
    std::size_t used;
};

void put_text(Writer& w, const char* text) {
    const std::size_t size = std::strlen(text);
    std::memcpy(w.out + w.used, text, size);
    w.used += size;
    w.out[w.used] = '\0';
}

void put_unsigned(Writer& w, std::uint32_t value) {
    char digits[11];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n != 0) {
        w.out[w.used++] = digits[--n];
    }
    w.out[w.used] = '\0';
}

void put_signed(Writer& w, std::int32_t value) {
    if (value < 0) {
        put_text(w, "-");
        // Negate in unsigned arithmetic, so that the smallest value needs no special case.
        put_unsigned(w, 0u - static_cast<std::uint32_t>(value));
    } else {
        put_unsigned(w, static_cast<std::uint32_t>(value));
    }
}

} // namespace

void format_status_line(char (&out)[status_text_size], std::uint32_t seconds,
                        std::uint32_t restarts, std::int32_t pid) {
    Writer w{out, 0};
    put_text(w, "running since  ");
    put_unsigned(w, seconds);
    put_text(w, " seconds, restarts ");
    put_unsigned(w, restarts);
    put_text(w, " , PID ");
    put_signed(w, pid);
    put_text(w, " \n");
}

void format_kill_command(char (&out)[status_text_size], std::int32_t pid) {
    Writer w{out, 0};
    put_text(w, "fkill ");
    put_signed(w, pid);
    put_text(w, " > nul");
}

void format_kill_failed_warning(char (&out)[status_text_size], std::int32_t pid) {
    Writer w{out, 0};
    put_text(w, "warning: the kill of worker PID ");
    put_signed(w, pid);
    put_text(w, " failed; a second worker is started beside it\n");
}
