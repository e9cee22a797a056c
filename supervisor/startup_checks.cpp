#include "startup_checks.h"

#include "../watch/status_line.h"
#include "../watch/text_buf.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// Appends within the buffer; a text that does not fit is cut, never overrun.
struct Text {
    char* out;
    std::size_t capacity;
    std::size_t used;
};

void put(Text& t, const char* text) {
    while (*text != '\0' && t.used + 1 < t.capacity) {
        t.out[t.used++] = *text++;
    }
    t.out[t.used] = '\0';
}

bool same(const char* a, const char* b) {
    return *a != '\0' && std::strcmp(a, b) == 0;
}

// Normalised paths: folder is root or lies below it.
bool under(const char* folder, const char* root) {
    const std::size_t length = std::strlen(root);
    if (length == 0 || std::strncmp(folder, root, length) != 0) {
        return false;
    }
    // "C:\" ends in its backslash; any other root is followed by one or by the end.
    return root[length - 1] == '\\' || folder[length] == '\0' || folder[length] == '\\';
}

// "\\server\share" or "\\?\UNC\server\share"; "\\?\C:\" and "\\.\" name local things.
bool is_unc(const char* path) {
    if (std::strncmp(path, "\\\\?\\", 4) == 0) {
        return std::strncmp(path + 4, "UNC\\", 4) == 0;
    }
    return std::strncmp(path, "\\\\", 2) == 0 && path[2] != '.';
}

bool in_system_folder(const StartupFacts& f) {
    return same(f.current_normalised, f.windows) || same(f.current_normalised, f.system) ||
           same(f.current_normalised, f.system_wow64);
}

// The folders whose files UAC redirects for a virtualised program.
bool in_virtualised_folder(const StartupFacts& f) {
    if (under(f.current_normalised, f.windows) || under(f.current_normalised, f.program_data)) {
        return true;
    }
    return std::any_of(std::begin(f.program_files), std::end(f.program_files),
                       [&f](const char* root) { return under(f.current_normalised, root); });
}

} // namespace

bool folder_warning(const StartupFacts& f, FolderCheck check, char (&out)[startup_warning_size]) {
    Text t{out, sizeof out, 0};
    out[0] = '\0';
    switch (check) {
    case FolderCheck::SystemFolder:
        if (!in_system_folder(f)) {
            return false;
        }
        put(t, "warning: the current folder is ");
        put(t, f.current);
        put(t, "; start the supervisor in the worker's folder\n");
        return true;
    case FolderCheck::NetworkPath:
        if (!is_unc(f.current)) {
            return false;
        }
        put(t, "warning: the current folder ");
        put(t, f.current);
        put(t, " is a network (UNC) path, where cmd.exe cannot run fkill; map a drive letter to it "
               "and start the supervisor there\n");
        return true;
    case FolderCheck::WorkerBesideSupervisor:
        // The system looks in the program's own folder before the current one.
        if (!f.worker_in_own_folder || f.own_folder_normalised[0] == '\0' ||
            std::strcmp(f.own_folder_normalised, f.current_normalised) == 0) {
            return false;
        }
        put(t, "warning: kq2.exe is started from ");
        put(t, f.own_folder);
        put(t, ", the supervisor's folder, not from the current folder ");
        put(t, f.current);
        put(t, "\n");
        return true;
    case FolderCheck::Virtualised:
        // UAC keeps the redirected files under the same path without its drive.
        if (!f.virtualised || !in_virtualised_folder(f) || f.current[0] == '\0' ||
            f.current[1] != ':') {
            return false;
        }
        put(t, "warning: Windows keeps this folder's log_kq.txt and check.txt in ");
        put(t, f.local_app_data[0] != '\0' ? f.local_app_data : "%LOCALAPPDATA%");
        put(t, "\\VirtualStore");
        put(t, f.current + 2);
        put(t, " for this program; start the supervisor in a folder outside Program Files and "
               "the Windows folder\n");
        return true;
    }
    return false;
}

bool write_access_warning(const WriteAccess& access, char (&out)[startup_warning_size]) {
    TextBuf t = text_buf(out, sizeof out);
    put_text(t, "warning: ");
    put_write_access(t, access, "this folder");
    put_line_end(t);
    return anything_to_say(access);
}

void warn_at_start(History& history) {
    // Read before the first status write replaces it.
    char text[status_text_size] = {};
    const std::size_t size = read_file_start("log_kq.txt", text, sizeof text);
    StatusLine line{};
    if (parse_status_line(text, size, line) && line.pid > 0 &&
        process_runs_image(static_cast<unsigned long>(line.pid), "kq2.exe")) {
        char warning[status_text_size] = {};
        format_earlier_worker_warning(warning, line.pid);
        history_say(history, EventId::EarlierWorker, warning);
    }
    // On the stack, not static: the toolchain stores zeroed statics in the program file.
    StartupFacts facts;
    gather_startup_facts(facts);
    for (const FolderCheck check : folder_checks) {
        char warning[startup_warning_size] = {};
        if (folder_warning(facts, check, warning)) {
            history_say(history,
                        static_cast<EventId>(static_cast<std::uint32_t>(EventId::SystemFolder) +
                                             static_cast<std::uint32_t>(check)),
                        warning);
        }
    }
    char warning[startup_warning_size];
    if (write_access_warning(facts.access, warning)) {
        history_say(history, EventId::OthersMayWrite, warning);
    }
}
