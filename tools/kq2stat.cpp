// kq2stat [--stale SECONDS] [--prometheus FILE] [FOLDER ...]: reads the folders where supervisors
// run, without changing anything there, and reports their state to a monitoring engine: a
// Monitoring Plugins line and exit status, and optionally a Prometheus textfile. Gathers facts
// only; monitor/ judges and formats them.
#include "monitor/folder_state.h"
#include "monitor/plugin_output.h"
#include "monitor/prometheus_text.h"
#include "platform/platform.h"
#include "platform/win32/folder_path.h"
#include "watch/folder_lock.h"

#include <windows.h>

#include <cstring>

#ifndef KQ2_VERSION
#define KQ2_VERSION "0"
#endif

namespace {

constexpr std::size_t path_room = folder_path_size;
static_assert(path_room == MAX_PATH * 2, "the room that the texts are sized for");
constexpr std::uint32_t default_stale_seconds = 60;
// The supervisor truncates log_kq.txt before it writes: an empty or partial read is tried again.
constexpr int status_reads = 6;
constexpr DWORD status_retry_ms = 40;
// The collector opens *.prom files without delete sharing: the replace is tried again briefly.
constexpr int move_tries = 40;
constexpr DWORD move_retry_ms = 25;

const char usage[] =
    "usage: kq2stat.exe [--stale SECONDS] [--prometheus FILE] [FOLDER ...]\n"
    "       kq2stat.exe --help | --version\n"
    "Reports the state of the kq2 supervisor in each FOLDER (none: the current folder) as a\n"
    "monitoring plugin: one line, exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n"
    "  --stale SECONDS    log_kq.txt older than this is CRITICAL (default 60)\n"
    "  --prometheus FILE  also write the metrics to FILE for a textfile collector\n";

struct Folder {
    char path[path_room];
    std::uint16_t label[path_room];
    std::size_t label_size;
};

FolderFacts facts[max_folders];
Verdict verdicts[max_folders];
Folder folders[max_folders];
Utf16Text labels[max_folders];
char plugin_text[plugin_text_size];
char prometheus_text[prometheus_text_size];

void write_out(const char* text, DWORD handle_id) {
    DWORD written = 0;
    WriteFile(GetStdHandle(handle_id), text, static_cast<DWORD>(std::strlen(text)), &written,
              nullptr);
}

int bad_arguments(const char* why, const char* what) {
    char room[512];
    TextBuf out = text_buf(room, sizeof room);
    put_text(out, "KQ2 UNKNOWN - bad arguments: ");
    put_text(out, why);
    put_text(out, what);
    put_line_end(out); // an option of any length is cut, the line still ended
    write_out(room, STD_OUTPUT_HANDLE);
    write_out(usage, STD_ERROR_HANDLE);
    return static_cast<int>(State::unknown);
}

bool parse_seconds(const char* text, std::uint32_t& out) {
    std::uint64_t value = 0;
    if (*text == '\0') {
        return false;
    }
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' ||
            (value = value * 10 + static_cast<unsigned>(*c - '0')) > 0xffffffffu) {
            return false;
        }
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

// dir + "\" + name into out; false when it does not fit.
bool join(char (&out)[path_room], const char* dir, const char* name) {
    const std::size_t dir_size = std::strlen(dir);
    const std::size_t name_size = std::strlen(name);
    if (dir_size + 1 + name_size >= path_room) {
        return false;
    }
    std::memcpy(out, dir, dir_size);
    std::size_t at = dir_size;
    if (at == 0 || out[at - 1] != '\\') {
        out[at++] = '\\';
    }
    std::memcpy(out + at, name, name_size + 1);
    return true;
}

bool not_found(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::uint64_t file_time_value(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

void read_status(const char* folder, FolderFacts& f) {
    char path[path_room];
    if (!join(path, folder, "log_kq.txt")) {
        f.status = StatusFile::unreadable;
        f.status_error = ERROR_FILENAME_EXCED_RANGE;
        return;
    }
    for (int attempt = 0; attempt < status_reads; ++attempt) {
        if (attempt != 0) {
            Sleep(status_retry_ms);
        }
        // Every sharing mode, so that the supervisor's rewrite never fails because of us.
        HANDLE file =
            CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            f.status_error = GetLastError();
            f.status = not_found(f.status_error) ? StatusFile::missing : StatusFile::unreadable;
            if (f.status == StatusFile::missing) {
                return;
            }
            continue;
        }
        FILETIME written{};
        FILETIME now{};
        char text[status_text_size * 2];
        DWORD size = 0;
        const bool read = ReadFile(file, text, sizeof text, &size, nullptr) != FALSE;
        f.status_error = read ? 0 : GetLastError();
        if (GetFileTime(file, nullptr, nullptr, &written) != FALSE) {
            GetSystemTimeAsFileTime(&now);
            const std::uint64_t later = file_time_value(now);
            const std::uint64_t then = file_time_value(written);
            const std::uint64_t age = later > then ? (later - then) / 10000000u : 0;
            f.age_known = true;
            f.status_age = age > 0xffffffffu ? 0xffffffffu : static_cast<std::uint32_t>(age);
        }
        CloseHandle(file);
        if (!read) {
            f.status = StatusFile::unreadable;
        } else if (parse_status_line(text, size, f.line)) {
            f.status = StatusFile::parsed;
            return;
        } else {
            f.status = StatusFile::unparsable;
        }
    }
}

bool mutex_held(const char* name) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex != nullptr) {
        CloseHandle(mutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED; // another account's supervisor
}

// The supervisor holds its lock in the Global namespace, in the Local one only where that fails.
bool lock_held(const char* folder) {
    char normalised[path_room];
    if (!normalised_folder_path(folder, normalised, sizeof normalised)) {
        return false;
    }
    char name[folder_lock_name_size];
    folder_lock_name(normalised, true, name);
    if (mutex_held(name)) {
        return true;
    }
    folder_lock_name(normalised, false, name);
    return mutex_held(name);
}

void look_at_heartbeat(const char* folder, FolderFacts& f) {
    char path[path_room];
    const DWORD attributes =
        join(path, folder, "check.txt") ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        f.heartbeat_error = GetLastError();
        f.heartbeat = not_found(f.heartbeat_error) ? Heartbeat::absent : Heartbeat::unreadable;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        f.heartbeat = Heartbeat::folder;
    } else if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        f.heartbeat = Heartbeat::read_only;
    } else {
        f.heartbeat = Heartbeat::file; // hidden and system ones too: the supervisor deletes them
    }
}

bool is_file(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// "fkill" with each of the PATHEXT extensions in dir, as cmd tries them.
bool fkill_in(const char* dir, std::size_t dir_size, const char* extensions) {
    char base[path_room];
    if (dir_size == 0 || dir_size >= path_room) {
        return false;
    }
    std::memcpy(base, dir, dir_size);
    base[dir_size] = '\0';
    char path[path_room];
    if (!join(path, base, "fkill")) {
        return false;
    }
    const std::size_t stem = std::strlen(path);
    for (const char* ext = extensions; *ext != '\0';) {
        const char* end = std::strchr(ext, ';');
        const std::size_t size =
            end != nullptr ? static_cast<std::size_t>(end - ext) : std::strlen(ext);
        if (size != 0 && stem + size < path_room) {
            std::memcpy(path + stem, ext, size);
            path[stem + size] = '\0';
            if (is_file(path)) {
                return true;
            }
        }
        ext += size;
        if (*ext == ';') {
            ++ext;
        }
    }
    return false;
}

// As cmd finds the supervisor's "fkill": the current folder first, then along PATH.
bool find_fkill(const char* folder) {
    static char path_variable[32767];
    static char extensions[4096];
    const DWORD extensions_size = GetEnvironmentVariableA("PATHEXT", extensions, sizeof extensions);
    if (extensions_size == 0 || extensions_size >= sizeof extensions) {
        std::strcpy(extensions, ".COM;.EXE;.BAT;.CMD"); // cmd's own when PATHEXT is unset
    }
    if (fkill_in(folder, std::strlen(folder), extensions)) {
        return true;
    }
    const DWORD size = GetEnvironmentVariableA("PATH", path_variable, sizeof path_variable);
    if (size == 0 || size >= sizeof path_variable) {
        return false;
    }
    for (const char* entry = path_variable; *entry != '\0';) {
        const char* end = std::strchr(entry, ';');
        const std::size_t length =
            end != nullptr ? static_cast<std::size_t>(end - entry) : std::strlen(entry);
        // cmd takes a quoted entry without its quotes.
        const bool quoted = length >= 2 && entry[0] == '"' && entry[length - 1] == '"';
        if (fkill_in(quoted ? entry + 1 : entry, quoted ? length - 2 : length, extensions)) {
            return true;
        }
        entry += length;
        if (*entry == ';') {
            ++entry;
        }
    }
    return false;
}

void gather(const char* given, Folder& folder, FolderFacts& f) {
    f = FolderFacts{};
    f.folder = folder.path;
    const DWORD length = GetFullPathNameA(given, sizeof folder.path, folder.path, nullptr);
    if (length == 0 || length >= sizeof folder.path) {
        lstrcpynA(folder.path, given, sizeof folder.path);
    }
    // "C:\work\" and "C:\work" are one folder; "C:\" keeps its backslash.
    std::size_t size = std::strlen(folder.path);
    while (size > 3 && folder.path[size - 1] == '\\') {
        folder.path[--size] = '\0';
    }
    WCHAR wide[path_room];
    const int units = MultiByteToWideChar(CP_ACP, 0, folder.path, -1, wide, path_room);
    folder.label_size = units > 0 ? static_cast<std::size_t>(units - 1) : 0;
    for (std::size_t i = 0; i < folder.label_size; ++i) {
        folder.label[i] = wide[i];
    }
    const DWORD attributes = GetFileAttributesA(folder.path);
    f.is_folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!f.is_folder) {
        return;
    }
    read_status(folder.path, f);
    f.lock_held = lock_held(folder.path);
    f.worker_running = f.status == StatusFile::parsed && f.line.pid > 0 &&
                       process_runs_image(static_cast<unsigned long>(f.line.pid), "kq2.exe");
    look_at_heartbeat(folder.path, f);
    f.fkill_found = find_fkill(folder.path);
}

// Written whole to a file of this run's own beside FILE, then moved over it, so that a collector
// never reads half a file. Null on success, else the reason, with no temporary file left.
const char* write_prometheus(const char* file, const char* text, std::size_t size) {
    static char reason[path_room + 64];
    char temporary[path_room];
    TextBuf name = text_buf(temporary, sizeof temporary);
    put_text(name, file);
    put_char(name, '.');
    put_unsigned(name, GetCurrentProcessId());
    put_text(name, ".tmp"); // the collector reads *.prom only
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (!name.overflow) {
        HANDLE out = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        error = GetLastError();
        if (out != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            const bool whole =
                WriteFile(out, text, static_cast<DWORD>(size), &written, nullptr) != FALSE &&
                written == size;
            error = whole ? 0 : GetLastError();
            if (CloseHandle(out) == FALSE && whole) {
                error = GetLastError();
            }
            for (int tries = 0; error == 0; ++tries) {
                if (MoveFileExA(temporary, file, MOVEFILE_REPLACE_EXISTING) != FALSE) {
                    return nullptr;
                }
                error = GetLastError();
                if ((error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) &&
                    tries < move_tries) {
                    Sleep(move_retry_ms);
                    error = 0;
                }
            }
            DeleteFileA(temporary);
        }
    }
    TextBuf out = text_buf(reason, sizeof reason);
    put_text(out, "cannot write ");
    put_text(out, file);
    put_text(out, " (error ");
    put_unsigned(out, error == 0 ? ERROR_GEN_FAILURE : error);
    put_char(out, ')');
    return reason;
}

} // namespace

int main(int argc, char** argv) {
    std::uint32_t stale_seconds = default_stale_seconds;
    const char* prometheus_file = nullptr;
    const char* given[max_folders];
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0) {
            write_out(usage, STD_OUTPUT_HANDLE);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            write_out("kq2stat " KQ2_VERSION "\n", STD_OUTPUT_HANDLE);
            return 0;
        }
        if (std::strcmp(arg, "--stale") == 0) {
            if (i + 1 >= argc || !parse_seconds(argv[++i], stale_seconds)) {
                return bad_arguments("--stale needs a whole number of seconds", "");
            }
        } else if (std::strcmp(arg, "--prometheus") == 0) {
            if (i + 1 >= argc) {
                return bad_arguments("--prometheus needs a file name", "");
            }
            prometheus_file = argv[++i];
        } else if (arg[0] == '-' && arg[1] == '-') {
            return bad_arguments("unknown option ", arg);
        } else if (count == max_folders) {
            return bad_arguments("more than 64 folders", "");
        } else {
            given[count++] = arg;
        }
    }
    if (count == 0) {
        given[count++] = ".";
    }
    for (std::size_t i = 0; i < count; ++i) {
        gather(given[i], folders[i], facts[i]);
        verdicts[i] = judge_folder(facts[i], stale_seconds);
        labels[i] = Utf16Text{folders[i].label, folders[i].label_size};
    }
    const char* failure = nullptr;
    if (prometheus_file != nullptr) {
        TextBuf metrics = text_buf(prometheus_text, sizeof prometheus_text);
        format_prometheus(metrics, facts, verdicts, labels, count, stale_seconds);
        // Never half a file: one cut short is not written at all.
        failure = metrics.overflow ? "the metrics do not fit kq2stat's buffer"
                                   : write_prometheus(prometheus_file, metrics.data, metrics.size);
    }
    TextBuf out = text_buf(plugin_text, sizeof plugin_text);
    const State state = format_plugin_output(out, facts, verdicts, count, stale_seconds, failure);
    write_out(plugin_text, STD_OUTPUT_HANDLE);
    return static_cast<int>(state);
}
