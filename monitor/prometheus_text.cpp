#include "prometheus_text.h"

void put_label_value(TextBuf& out, Utf16Text text) {
    for (std::size_t at = 0; at < text.size;) {
        const std::uint32_t code = next_code_point(text, at);
        switch (code) {
        case '\\':
            put_text(out, "\\\\");
            break;
        case '"':
            put_text(out, "\\\"");
            break;
        case '\n':
            put_text(out, "\\n");
            break;
        default:
            put_utf8(out, code);
        }
    }
}

namespace {

enum class Known { always, folder, age, line, access };

struct Metric {
    const char* name;
    const char* type;
    const char* help;
    Known known; // which facts a sample needs
};

// alignas: GCC would pad it to 32 bytes, which kq2stat's size limit cannot spare.
alignas(4) const Metric metrics[] = {
    {"kq2_supervisor_up", "gauge", "1 when log_kq.txt was rewritten within the stale limit.",
     Known::folder},
    {"kq2_status_age_seconds", "gauge",
     "Seconds since log_kq.txt was last written, negative when dated in the future.", Known::age},
    {"kq2_worker_up", "gauge", "1 when the status line's PID is a running kq2.exe.", Known::line},
    {"kq2_worker_launches_total", "counter",
     "Launches of kq2.exe by the running supervisor, the first included.", Known::line},
    {"kq2_seconds_since_check", "gauge",
     "Seconds since the supervisor's last heartbeat check, as log_kq.txt says.", Known::line},
    {"kq2_heartbeat_consumable", "gauge",
     "0 when check.txt is a folder, read-only or cannot be looked at.", Known::folder},
    {"kq2_fkill_found", "gauge", "1 when fkill is in the folder or along PATH.", Known::folder},
    {"kq2_others_may_write", "gauge",
     "1 when another account may change what runs from the folder.", Known::access},
    {"kq2_state", "gauge", "0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN, as kq2stat's exit status.",
     Known::always},
};

static_assert(sizeof metrics / sizeof metrics[0] == prometheus_metrics, "the buffer's room");

// 1 where others may change what runs from the folder.
bool access_sample(const WriteAccess& access) {
    return access.count != 0 || access.no_permissions;
}

// Never guessed: none where the permissions could not be read and no other account was found.
bool access_known(const WriteAccess& access) {
    return access_sample(access) || !access.unreadable;
}

bool has_sample(const FolderFacts& facts, Known known) {
    switch (known) {
    case Known::always:
        return true;
    case Known::folder:
        return facts.is_folder;
    case Known::age:
        return facts.is_folder && facts.age_known;
    case Known::access:
        return facts.is_folder && access_known(facts.access);
    case Known::line:
        break;
    }
    return facts.is_folder && facts.status == StatusFile::parsed;
}

std::int64_t sample(std::size_t metric, const FolderFacts& facts, const Verdict& verdict,
                    std::uint32_t stale_seconds) {
    switch (metric) {
    case 0:
        return status_fresh(facts, stale_seconds) ? 1 : 0;
    case 1:
        return signed_status_age(facts);
    case 2:
        return facts.worker_running && facts.line.pid > 0 ? 1 : 0;
    case 3:
        return facts.line.restarts;
    case 4:
        return facts.line.seconds;
    case 5:
        return facts.heartbeat == Heartbeat::absent || facts.heartbeat == Heartbeat::file ? 1 : 0;
    case 6:
        return facts.fkill_found ? 1 : 0;
    case 7:
        return access_sample(facts.access) ? 1 : 0;
    default:
        break;
    }
    return static_cast<std::int64_t>(verdict.state);
}

} // namespace

void format_prometheus(TextBuf& out, const FolderFacts* facts, const Verdict* verdicts,
                       const Utf16Text* folders, std::size_t count, std::uint32_t stale_seconds,
                       bool own) {
    for (std::size_t m = 0; m < sizeof metrics / sizeof metrics[0]; ++m) {
        const Metric& metric = metrics[m];
        put_text(out, "# HELP ");
        put_text(out, metric.name);
        put_char(out, ' ');
        put_text(out, metric.help);
        put_text(out, "\n# TYPE ");
        put_text(out, metric.name);
        put_char(out, ' ');
        put_text(out, metric.type);
        put_char(out, '\n');
        // The own folder's sample is the gauge's, which takes nothing from its verdict.
        const std::size_t samples = count + (own && metric.known == Known::access ? 1 : 0);
        for (std::size_t i = 0; i < samples; ++i) {
            if (!has_sample(facts[i], metric.known)) {
                continue;
            }
            put_text(out, metric.name);
            put_text(out, "{folder=\"");
            put_label_value(out, folders[i]);
            put_text(out, "\"} ");
            put_signed(out, sample(m, facts[i], verdicts[i], stale_seconds));
            put_char(out, '\n');
        }
    }
}
