// kq2stat [--stale SECONDS] [--prometheus FILE] [FOLDER ...]: reads the folders where supervisors
// run, without changing anything there, and reports their state to a monitoring engine: a
// Monitoring Plugins line and exit status, and optionally a Prometheus textfile. Gathers facts
// only; monitor/ judges and formats them. Folders and files are named in UTF-16 (wmain), so that
// a folder outside the ANSI code page is seen and named exactly.
#include "monitor/folder_state.h"
#include "monitor/plugin_output.h"
#include "monitor/prometheus_text.h"
#include "platform/platform.h"
#include "platform/win32/folder_path.h"
#include "platform/win32/object_owner.h"
#include "watch/folder_lock.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

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
    WCHAR path[path_room]; // full, without trailing backslashes but at a drive's root
    std::uint16_t label[path_room];
    std::size_t label_size;
    char text[path_room * 3]; // the path in UTF-8, for the plugin line
    FolderIdentity identity;
    bool identified;
};

FolderFacts facts[max_folders];
Verdict verdicts[max_folders];
Folder folders[max_folders];
Utf16Text labels[max_folders];
char plugin_text[plugin_text_size];
char prometheus_text[prometheus_text_size];

// UTF-8 text as a console shows it, else as it is: monitoring engines read UTF-8 from a pipe.
void write_out(const char* text, DWORD handle_id) {
    static WCHAR wide[sizeof plugin_text];
    HANDLE handle = GetStdHandle(handle_id);
    DWORD written = 0;
    DWORD mode = 0;
    const int units = GetConsoleMode(handle, &mode) != FALSE
                          ? MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, sizeof plugin_text)
                          : 0;
    if (units <= 0) {
        WriteFile(handle, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
        return;
    }
    // In pieces: an older console refuses a write beyond its 64 KiB heap.
    for (int at = 0, piece = 0; at < units - 1; at += piece) {
        piece = units - 1 - at < 8192 ? units - 1 - at : 8192;
        if (piece == 8192 && wide[at + piece - 1] >= 0xd800 && wide[at + piece - 1] < 0xdc00) {
            --piece; // a surrogate pair stays whole
        }
        WriteConsoleW(handle, wide + at, static_cast<DWORD>(piece), &written, nullptr);
    }
}

// The system's UTF-16 in the units that the OS-free code takes.
Utf16Text units_of(const WCHAR* text, std::uint16_t (&room)[path_room]) {
    std::size_t size = 0;
    for (; size < path_room && text[size] != 0; ++size) {
        room[size] = text[size];
    }
    return {room, size};
}

void put_wide(TextBuf& out, const WCHAR* text) {
    std::uint16_t room[path_room];
    put_utf16(out, units_of(text, room));
}

int bad_arguments(const char* why, const WCHAR* what) {
    char room[2048];
    char given[path_room * 3];
    TextBuf what_text = text_buf(given, sizeof given);
    put_wide(what_text, what);
    TextBuf out = text_buf(room, sizeof room);
    put_text(out, "KQ2 UNKNOWN - bad arguments: ");
    put_text(out, why);
    put_echoed(out, given);
    put_line_end(out); // an option of any length is cut, the line still ended
    write_out(room, STD_OUTPUT_HANDLE);
    write_out(usage, STD_ERROR_HANDLE);
    return static_cast<int>(State::unknown);
}

bool parse_seconds(const WCHAR* text, std::uint32_t& out) {
    std::uint64_t value = 0;
    if (*text == 0) {
        return false;
    }
    for (const WCHAR* c = text; *c != 0; ++c) {
        if (*c < '0' || *c > '9' ||
            (value = value * 10 + static_cast<unsigned>(*c - '0')) > 0xffffffffu) {
            return false;
        }
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

// dir + "\" + name into out; false when it does not fit.
bool join(WCHAR (&out)[path_room], const WCHAR* dir, const WCHAR* name) {
    const std::size_t dir_size = std::wcslen(dir);
    const std::size_t name_size = std::wcslen(name);
    if (dir_size + 1 + name_size >= path_room) {
        return false;
    }
    std::wmemcpy(out, dir, dir_size);
    std::size_t at = dir_size;
    if (at == 0 || out[at - 1] != L'\\') {
        out[at++] = L'\\';
    }
    std::wmemcpy(out + at, name, name_size + 1);
    return true;
}

bool not_found(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::uint64_t file_time_value(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

void read_status(const WCHAR* folder, FolderFacts& f) {
    WCHAR path[path_room];
    if (!join(path, folder, L"log_kq.txt")) {
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
            CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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
            const std::uint64_t ahead = then > later ? (then - later) / 10000000u : 0;
            f.age_known = true;
            f.status_age = age > 0xffffffffu ? 0xffffffffu : static_cast<std::uint32_t>(age);
            f.status_ahead = ahead > 0xffffffffu ? 0xffffffffu : static_cast<std::uint32_t>(ahead);
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

// Its owner too, where the mutex lets us read it.
bool mutex_held(const char* name, OwnerFacts& owner) {
    HANDLE mutex = OpenMutexA(READ_CONTROL, FALSE, name);
    if (mutex != nullptr) {
        read_owner(mutex, CP_UTF8, owner);
        CloseHandle(mutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED; // another account's object
}

// The supervisor holds its lock in the Global namespace, in the Local one only where that fails;
// an older one holds the ANSI name only.
bool lock_held(const FolderIdentity& folder, OwnerFacts& owner) {
    for (int global = 1; global >= 0; --global) {
        char names[2][folder_lock_name_size];
        const std::size_t count = folder_lock_names(folder, global == 1, names);
        for (std::size_t i = 0; i < count; ++i) {
            if (mutex_held(names[i], owner)) {
                return true;
            }
        }
    }
    return false;
}

void look_at_heartbeat(const WCHAR* folder, FolderFacts& f) {
    WCHAR path[path_room];
    const DWORD attributes =
        join(path, folder, L"check.txt") ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
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

bool is_file(const WCHAR* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// "fkill" with each of the PATHEXT extensions in dir, as cmd tries them.
bool fkill_in(const WCHAR* dir, std::size_t dir_size, const WCHAR* extensions) {
    WCHAR base[path_room];
    if (dir_size == 0 || dir_size >= path_room) {
        return false;
    }
    std::wmemcpy(base, dir, dir_size);
    base[dir_size] = 0;
    WCHAR path[path_room];
    if (!join(path, base, L"fkill")) {
        return false;
    }
    const std::size_t stem = std::wcslen(path);
    for (const WCHAR* ext = extensions; *ext != 0;) {
        const WCHAR* end = std::wcschr(ext, L';');
        const std::size_t size =
            end != nullptr ? static_cast<std::size_t>(end - ext) : std::wcslen(ext);
        if (size != 0 && stem + size < path_room) {
            std::wmemcpy(path + stem, ext, size);
            path[stem + size] = 0;
            if (is_file(path)) {
                return true;
            }
        }
        ext += size;
        if (*ext == L';') {
            ++ext;
        }
    }
    return false;
}

// As cmd finds the supervisor's "fkill": the current folder first, then along PATH.
bool find_fkill(const WCHAR* folder) {
    static WCHAR path_variable[32767];
    static WCHAR extensions[4096];
    const DWORD extensions_size = GetEnvironmentVariableW(L"PATHEXT", extensions, 4096);
    if (extensions_size == 0 || extensions_size >= 4096) {
        std::wcscpy(extensions, L".COM;.EXE;.BAT;.CMD"); // cmd's own when PATHEXT is unset
    }
    if (fkill_in(folder, std::wcslen(folder), extensions)) {
        return true;
    }
    const DWORD size = GetEnvironmentVariableW(L"PATH", path_variable, 32767);
    if (size == 0 || size >= 32767) {
        return false;
    }
    for (const WCHAR* entry = path_variable; *entry != 0;) {
        const WCHAR* end = std::wcschr(entry, L';');
        const std::size_t length =
            end != nullptr ? static_cast<std::size_t>(end - entry) : std::wcslen(entry);
        // cmd takes a quoted entry without its quotes.
        const bool quoted = length >= 2 && entry[0] == L'"' && entry[length - 1] == L'"';
        if (fkill_in(quoted ? entry + 1 : entry, quoted ? length - 2 : length, extensions)) {
            return true;
        }
        entry += length;
        if (*entry == L';') {
            ++entry;
        }
    }
    return false;
}

// The folder's full path as the system names it, and its identity, by which the folder lock is
// found and a folder given twice is told.
void name_folder(const WCHAR* given, Folder& folder) {
    const DWORD length = GetFullPathNameW(given, path_room, folder.path, nullptr);
    if (length == 0 || length >= path_room) {
        lstrcpynW(folder.path, given, path_room);
    }
    // "C:\work\" and "C:\work" are one folder; "C:\" keeps its backslash.
    folder.label_size = trimmed_folder_size(units_of(folder.path, folder.label));
    folder.path[folder.label_size] = 0;
    TextBuf text = text_buf(folder.text, sizeof folder.text);
    put_utf16(text, Utf16Text{folder.label, folder.label_size});
    folder.identified = folder_identity(folder.path, folder.identity);
}

bool same_folder(const Folder& a, const Folder& b) {
    return a.identified && b.identified && a.identity.size == b.identity.size &&
           std::memcmp(a.identity.units, b.identity.units, a.identity.size * 2) == 0;
}

void gather(const Folder& folder, FolderFacts& f) {
    f = FolderFacts{};
    f.folder = folder.text;
    const DWORD attributes = GetFileAttributesW(folder.path);
    f.is_folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!f.is_folder) {
        return;
    }
    read_status(folder.path, f);
    f.lock_held = folder.identified && lock_held(folder.identity, f.lock_owner);
    f.worker_running = f.status == StatusFile::parsed && f.line.pid > 0 &&
                       process_runs_image(static_cast<unsigned long>(f.line.pid), "kq2.exe");
    look_at_heartbeat(folder.path, f);
    f.fkill_found = find_fkill(folder.path);
}

// Written whole to a file of this run's own beside FILE, then moved over it, so that a collector
// never reads half a file. Null on success, else the reason, with no temporary file left.
const char* write_prometheus(const WCHAR* file, const char* text, std::size_t size) {
    static char reason[path_room * 3 + 64];
    WCHAR temporary[path_room];
    char suffix[32];
    TextBuf tail = text_buf(suffix, sizeof suffix);
    put_char(tail, '.');
    put_unsigned(tail, GetCurrentProcessId());
    put_text(tail, ".tmp"); // the collector reads *.prom only
    const std::size_t stem = std::wcslen(file);
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (stem + tail.size < path_room) {
        std::wmemcpy(temporary, file, stem);
        for (std::size_t i = 0; i <= tail.size; ++i) {
            temporary[stem + i] = static_cast<unsigned char>(suffix[i]);
        }
        HANDLE out = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
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
                if (MoveFileExW(temporary, file, MOVEFILE_REPLACE_EXISTING) != FALSE) {
                    return nullptr;
                }
                error = GetLastError();
                if ((error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) &&
                    tries < move_tries) {
                    Sleep(move_retry_ms);
                    error = 0;
                }
            }
            DeleteFileW(temporary);
        }
    }
    TextBuf out = text_buf(reason, sizeof reason);
    put_text(out, "cannot write ");
    put_wide(out, file);
    put_text(out, " (error ");
    put_unsigned(out, error == 0 ? ERROR_GEN_FAILURE : error);
    put_char(out, ')');
    return reason;
}

} // namespace

int wmain(int argc, WCHAR** argv) {
    std::uint32_t stale_seconds = default_stale_seconds;
    const WCHAR* prometheus_file = nullptr;
    const WCHAR* given[max_folders];
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const WCHAR* arg = argv[i];
        if (std::wcscmp(arg, L"--help") == 0) {
            write_out(usage, STD_OUTPUT_HANDLE);
            return 0;
        }
        if (std::wcscmp(arg, L"--version") == 0) {
            write_out("kq2stat " KQ2_VERSION "\n", STD_OUTPUT_HANDLE);
            return 0;
        }
        if (std::wcscmp(arg, L"--stale") == 0) {
            if (i + 1 >= argc || !parse_seconds(argv[++i], stale_seconds)) {
                return bad_arguments("--stale needs a whole number of seconds", L"");
            }
        } else if (std::wcscmp(arg, L"--prometheus") == 0) {
            if (i + 1 >= argc) {
                return bad_arguments("--prometheus needs a file name", L"");
            }
            prometheus_file = argv[++i];
        } else if (arg[0] == L'-' && arg[1] == L'-') {
            return bad_arguments("unknown option ", arg);
        } else if (count == max_folders) {
            return bad_arguments("more than 64 folders", L"");
        } else {
            given[count++] = arg;
        }
    }
    if (count == 0) {
        given[count++] = L".";
    }
    // A folder given twice, in any spelling, is judged once: two samples with one label would make
    // a collector refuse the whole file.
    std::size_t judged = 0;
    for (std::size_t i = 0; i < count; ++i) {
        name_folder(given[i], folders[judged]);
        bool again = false;
        for (std::size_t j = 0; j < judged && !again; ++j) {
            again = same_folder(folders[j], folders[judged]);
        }
        if (again) {
            continue;
        }
        gather(folders[judged], facts[judged]);
        verdicts[judged] = judge_folder(facts[judged], stale_seconds);
        labels[judged] = Utf16Text{folders[judged].label, folders[judged].label_size};
        ++judged;
    }
    const char* failure = nullptr;
    if (prometheus_file != nullptr) {
        TextBuf metrics = text_buf(prometheus_text, sizeof prometheus_text);
        format_prometheus(metrics, facts, verdicts, labels, judged, stale_seconds);
        // Never half a file: one cut short is not written at all.
        failure = metrics.overflow ? "the metrics do not fit kq2stat's buffer"
                                   : write_prometheus(prometheus_file, metrics.data, metrics.size);
    }
    TextBuf out = text_buf(plugin_text, sizeof plugin_text);
    const State state = format_plugin_output(out, facts, verdicts, judged, stale_seconds, failure);
    write_out(plugin_text, STD_OUTPUT_HANDLE);
    return static_cast<int>(state);
}
