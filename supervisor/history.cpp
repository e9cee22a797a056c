#include "history.h"

#include "../watch/text_buf.h"
#include "startup_checks.h"

#include <cstring>

namespace {

const char refused_sentence[] =
    "another supervisor already watches this folder; this one ended without touching it";

// Room for the refusal: its fixed words and the system's text.
constexpr std::size_t refusal_size = 384;

void say_refusal(std::uint32_t error) {
    static const char tail[] = "); the history goes on standard error only\n";
    char text[refusal_size] = {};
    char reason[refusal_size] = {};
    TextBuf w = text_buf(text, sizeof text);
    put_text(w, "warning: the event log refused an event (error ");
    put_unsigned(w, error);
    put_system_text(w, error_text(error, reason, sizeof reason) ? reason : nullptr,
                    refusal_size - w.size - sizeof tail - 2);
    put_text(w, tail);
    print_warning(text);
}

// One event written, or dropped for good. Any failure registers the source again at the next
// event: the Event Log service may start late at boot, or restart.
void write(History& h, EventType type, EventId id, const char* sentence) {
    std::uint32_t error = h.registered ? 0 : register_event_source();
    if (error == 0) {
        error = report_event(type, static_cast<std::uint32_t>(id), sentence);
    }
    h.registered = error == 0;
    if (error != 0) {
        if (!h.refused) {
            say_refusal(error);
        }
        h.refused = true;
    } else if (h.refused) {
        h.refused = false;
        // No event follows ESC's: a recovery that only it shows is said on standard error alone.
        static const char taken[] = "the event log takes events again\n";
        if (id == EventId::Escape) {
            print_warning(taken);
        } else {
            history_say(h, EventId::EventsTakenAgain, taken);
        }
    }
}

void summarise(History& h, EventWindow& window) {
    char text[launch_warning_size + 80] = {};
    TextBuf w = text_buf(text, sizeof text);
    put_unsigned(w, window.left_out);
    put_text(w, window.left_out == 1 ? " more event like this one was left out"
                                     : " more events like this one were left out");
    put_text(w, " in the last hour: ");
    put_text(w, window.last);
    window.written = 0;
    window.left_out = 0;
    write(h, window.type, EventId::Summary, text);
}

bool hour_ended(const EventWindow& window, Ticks now) {
    return now - window.start >= history_hour;
}

} // namespace

void history_start(History& history) {
    history.registered = register_event_source() == 0;
}

void history_event(History& h, EventType type, EventId id, const char* sentence) {
    EventWindow& window = h.window[static_cast<std::size_t>(id)];
    const Ticks now = ticks_now();
    if (window.written != 0 && hour_ended(window, now)) {
        if (window.left_out != 0) {
            summarise(h, window);
        }
        window.written = 0;
    }
    if (window.written == 0) {
        window.start = now;
    }
    if (window.written < events_per_hour) {
        ++window.written;
        write(h, type, id, sentence);
        return;
    }
    ++window.left_out;
    window.type = type;
    TextBuf last = text_buf(window.last, sizeof window.last);
    put_text(last, sentence);
    h.held_back = true;
}

void history_say(History& history, EventId id, const char* line) {
    print_warning(line);
    static const char prefix[] = "warning: ";
    const bool warning = std::strncmp(line, prefix, sizeof prefix - 1) == 0;
    const char* sentence = warning ? line + sizeof prefix - 1 : line;
    // Without its line end.
    char text[startup_warning_size];
    TextBuf w = text_buf(text, sizeof text);
    for (const char* c = sentence; *c != '\0' && *c != '\n'; ++c) {
        put_char(w, *c);
    }
    history_event(history, warning ? EventType::Warning : EventType::Information, id, text);
}

// Those refused starts beyond the limit, summed up as this process's own would be; the count
// starts again. It lives in memory that every refused start writes, so no more is believed than
// one refused start a second.
static void summarise_refusals(History& h) {
    h.refusals_seen = false;
    std::uint32_t count = take_refusal_count(h.refusals);
    if (count > refusals_per_hour_most) {
        count = refusals_per_hour_most;
    }
    if (count > events_per_hour) {
        EventWindow& window = h.window[static_cast<std::size_t>(EventId::Refused)];
        window.left_out = count - events_per_hour;
        window.type = EventType::Error;
        TextBuf last = text_buf(window.last, sizeof window.last);
        put_text(last, refused_sentence);
        summarise(h, window);
    }
}

// The hour of the refused starts runs from the first that the loop saw; their count is taken
// when it ends.
static void sum_up_refusals(History& h, Ticks now) {
    if (!h.refusals_seen) {
        h.refusals_seen = true;
        h.refusals_since = now;
        return;
    }
    if (now - h.refusals_since >= history_hour) {
        summarise_refusals(h);
    }
}

// Sums up what is held back: where its hour has ended, or all of it at the end of the watch.
static void sum_up(History& h, bool ending) {
    const Ticks now = ticks_now();
    if (h.refusals != nullptr && *h.refusals != 0) {
        if (ending) {
            summarise_refusals(h);
        } else {
            sum_up_refusals(h, now);
        }
    }
    h.held_back = false;
    for (EventWindow& window : h.window) {
        if (window.left_out != 0 && (ending || hour_ended(window, now))) {
            summarise(h, window);
        } else if (window.left_out != 0) {
            h.held_back = true;
        }
    }
}

void history_summaries(History& h) {
    sum_up(h, false);
}

void history_end(History& h) {
    sum_up(h, true);
    // A summary written after a refusal brings "the event log takes events again", which its
    // window may hold back once the sweep has passed it: summed up in a second sweep, whose own
    // notice finds that window emptied and is written.
    if (h.held_back) {
        sum_up(h, true);
    }
}

void history_share_refusals(History& history) {
    bool foreign = false;
    volatile long* count = share_refusal_count(foreign);
    if (count != nullptr) {
        history.refusals = count;
    } else if (foreign) {
        history_say(history, EventId::ForeignRefusalCount,
                    "warning: another program made this folder's refusal count, so refused starts "
                    "here are not limited\n");
    }
}

void history_refused(History& history, const char* holder) {
    // 0: no supervisor shares a count, and the event is written as any other.
    if (count_refusal() <= events_per_hour) {
        char sentence[refusal_size] = {};
        TextBuf w = text_buf(sentence, sizeof sentence);
        put_text(w, holder);
        put_text(w, "; this one ended without touching it");
        history_event(history, EventType::Error, EventId::Refused, sentence);
    }
}
