#include "status_line.h"

#include "text_buf.h"

#include <cstring>

void format_status_line(char (&out)[status_text_size], std::uint32_t seconds,
                        std::uint32_t restarts, std::int32_t pid) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "running since  ");
    put_unsigned(w, seconds);
    put_text(w, " seconds, restarts ");
    put_unsigned(w, restarts);
    put_text(w, " , PID ");
    put_signed(w, pid);
    put_text(w, " \n");
}

namespace {

struct Reader {
    const char* at;
    const char* end;
};

bool take_text(Reader& r, const char* text) {
    const std::size_t size = std::strlen(text);
    if (static_cast<std::size_t>(r.end - r.at) < size || std::memcmp(r.at, text, size) != 0) {
        return false;
    }
    r.at += size;
    return true;
}

// Decimal digits as put_unsigned writes them: at least one, no leading zero, at most limit.
bool take_unsigned(Reader& r, std::uint32_t limit, std::uint32_t& value) {
    const char* first = r.at;
    std::uint64_t total = 0;
    while (r.at != r.end && *r.at >= '0' && *r.at <= '9') {
        total = total * 10 + static_cast<std::uint64_t>(*r.at - '0');
        if (total > limit) {
            return false;
        }
        ++r.at;
    }
    const std::ptrdiff_t digits = r.at - first;
    if (digits == 0 || (digits > 1 && *first == '0')) {
        return false;
    }
    value = static_cast<std::uint32_t>(total);
    return true;
}

bool take_signed(Reader& r, std::int32_t& value) {
    std::uint32_t magnitude = 0;
    if (take_text(r, "-")) {
        if (!take_unsigned(r, 0x80000000u, magnitude) || magnitude == 0) {
            return false;
        }
        value = static_cast<std::int32_t>(0u - magnitude);
        return true;
    }
    if (!take_unsigned(r, 0x7fffffffu, magnitude)) {
        return false;
    }
    value = static_cast<std::int32_t>(magnitude);
    return true;
}

} // namespace

bool parse_status_line(const char* text, std::size_t size, StatusLine& out) {
    Reader r{text, text + size};
    StatusLine line{};
    if (!take_text(r, "running since  ") || !take_unsigned(r, 0xffffffffu, line.seconds) ||
        !take_text(r, " seconds, restarts ") || !take_unsigned(r, 0xffffffffu, line.restarts) ||
        !take_text(r, " , PID ") || !take_signed(r, line.pid) || !take_text(r, " ")) {
        return false;
    }
    take_text(r, "\r");
    if (!take_text(r, "\n") || r.at != r.end) {
        return false;
    }
    out = line;
    return true;
}

void format_kill_command(char (&out)[status_text_size], std::int32_t pid) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "fkill ");
    put_signed(w, pid);
    put_text(w, " > nul");
}

void format_kill_failed_warning(char (&out)[status_text_size], std::int32_t pid) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "warning: the kill of worker PID ");
    put_signed(w, pid);
    put_text(w, " failed; a second worker is started beside it\n");
}

void format_look_failed_warning(char (&out)[status_text_size], std::uint32_t error) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "warning: check.txt cannot be looked at (error ");
    put_unsigned(w, error);
    put_text(w, "); the worker is not being watched\n");
}

void format_stopped_command_warning(char (&out)[status_text_size], const char* command) {
    constexpr std::size_t command_room = 23; // "fkill -2147483648 > nul"
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "warning: \"");
    for (std::size_t i = 0; i < command_room && command[i] != '\0'; ++i) {
        put_char(w, command[i]);
    }
    put_text(w, "\" did not end within 30 s and was stopped; the watch goes on\n");
}

void format_earlier_worker_warning(char (&out)[status_text_size], std::int32_t pid) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "warning: worker PID ");
    put_signed(w, pid);
    put_text(w, " from an earlier run still runs; a second worker is started beside it\n");
}

void format_started_again_notice(char (&out)[status_text_size], std::int32_t pid) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "kq2.exe started again as PID ");
    put_signed(w, pid);
    put_text(w, "\n");
}

void format_launch_failed_warning(char (&out)[launch_warning_size], std::uint32_t code,
                                  const char* text) {
    static const char head[] = "warning: cannot start kq2.exe (error ";
    static const char tail[] = "); it is tried again at each check\n";
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, head);
    put_unsigned(w, code);
    // Room left for the text: the tail, ": " and the zero stay within the buffer.
    put_system_text(w, text, launch_warning_size - w.size - sizeof tail - 2);
    put_text(w, tail);
}
