#include "event_sentences.h"

#include "../watch/text_buf.h"

void format_start_event(char (&out)[event_text_size], const char* version, int arguments,
                        std::int32_t pid) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "supervisor ");
    put_text(w, version);
    put_text(w, " started; kq2.exe with ");
    put_signed(w, arguments);
    put_text(w, arguments == 1 ? " argument" : " arguments");
    put_text(w, " after /z is PID ");
    put_signed(w, pid);
}

static void put_hex(TextBuf& w, std::uint32_t value) {
    put_text(w, "0x");
    for (int shift = 28; shift >= 0; shift -= 4) {
        put_char(w, "0123456789ABCDEF"[(value >> shift) & 0xfu]);
    }
}

bool format_restart_event(char (&out)[event_text_size], const RestartFacts& f) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "worker PID ");
    put_signed(w, f.pid);
    const bool relaunched = f.new_pid != -1;
    if (f.ended) {
        put_text(w, " had ended with exit code ");
        put_unsigned(w, f.exit_code);
        put_text(w, " (");
        put_hex(w, f.exit_code);
        put_text(w, relaunched ? "); kq2.exe started again" : ")");
    } else {
        put_text(w, " wrote no check.txt in ");
        put_unsigned(w, f.seconds);
        put_text(w, " s; it ");
        if (f.killed) {
            put_text(w, relaunched ? "was ended and kq2.exe started again" : "was ended");
        } else {
            put_text(w, relaunched ? "could not be ended, and kq2.exe started again beside it"
                                   : "could not be ended");
        }
    }
    if (relaunched) {
        put_text(w, " as PID ");
        put_signed(w, f.new_pid);
    } else {
        put_text(w, "; kq2.exe could not be started again");
    }
    put_text(w, " (restarts ");
    put_unsigned(w, f.restarts);
    put_text(w, ")");
    return f.ended;
}

void format_escape_event(char (&out)[event_text_size], std::int32_t pid) {
    TextBuf w = text_buf(out, sizeof out);
    if (pid == -1) {
        put_text(w, "ended by ESC; no worker was running");
        return;
    }
    put_text(w, "ended by ESC; worker PID ");
    put_signed(w, pid);
    put_text(w, " is left running");
}

void format_survivor_ended_notice(char (&out)[status_text_size], std::int32_t pid, bool last) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "worker PID ");
    put_signed(w, pid);
    put_text(w, ", which survived its kill, has ended");
    put_text(w, last ? "; the watch covers one worker again\n" : "\n");
}

void format_survivor_let_go_warning(char (&out)[status_text_size], std::int32_t pid) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, "warning: the kill of worker PID ");
    put_signed(w, pid);
    put_text(w,
             " failed; 16 survivors are kept already, so it is not named again: end it by hand\n");
}
