#include "monitor_facts.h"

#include "../platform.h"
#include "folder_access.h"
#include "object_owner.h"

#include <cstring>
#include <cwchar>

namespace {

// The supervisor truncates log_kq.txt before it writes: an empty or partial read is tried again.
constexpr int status_reads = 6;
constexpr DWORD status_retry_ms = 40;

bool not_found(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::uint64_t file_time_value(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// Whole seconds in a count of 100 ns, at most 0xffffffff. In double, which i686 converts inline:
// a 64-bit division would link libgcc's helpers into kq2stat.
std::uint32_t whole_seconds(std::uint64_t units) {
    const double seconds = static_cast<double>(units) / 1e7;
    return seconds >= 4294967295.0 ? 0xffffffffu : static_cast<std::uint32_t>(seconds);
}

void read_status(const WCHAR* folder, FolderFacts& f) {
    WCHAR path[folder_path_room];
    if (!join_path(path, folder, L"log_kq.txt")) {
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
            const bool ahead = then > later;
            const std::uint32_t seconds = whole_seconds(ahead ? then - later : later - then);
            f.age_known = true;
            f.status_age = ahead ? 0 : seconds;
            f.status_ahead = ahead ? seconds : 0;
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
    WCHAR path[folder_path_room];
    const DWORD attributes =
        join_path(path, folder, L"check.txt") ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
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

// As cmd finds the supervisor's "fkill": the current folder first (where it looks there), then
// along PATH.
bool find_fkill(const WCHAR* folder) {
    static WCHAR path_variable[32767];
    WCHAR found[folder_path_room];
    if (cmd_searches_current_folder() && fkill_in(folder, std::wcslen(folder), found)) {
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
        if (fkill_in(quoted ? entry + 1 : entry, quoted ? length - 2 : length, found)) {
            return true;
        }
        entry += length;
        if (*entry == L';') {
            ++entry;
        }
    }
    return false;
}

} // namespace

Utf16Text units_of(const WCHAR* text, std::uint16_t (&room)[folder_path_room]) {
    std::size_t size = 0;
    for (; size < folder_path_room && text[size] != 0; ++size) {
        room[size] = text[size];
    }
    return {room, size};
}

void name_folder(const WCHAR* given, Folder& folder) {
    const DWORD length = GetFullPathNameW(given, folder_path_room, folder.path, nullptr);
    if (length == 0 || length >= folder_path_room) {
        lstrcpynW(folder.path, given, folder_path_room);
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

void gather_folder_facts(const Folder& folder, FolderFacts& f) {
    std::memset(&f, 0, sizeof f);
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
    // The supervisor writes its folder: its account, where its lock names it, is no stranger.
    judge_folder_access(folder.path, L"kq2.exe", "kq2.exe", true, CP_UTF8,
                        other_account(f.lock_owner), f.access);
}

bool own_folder(Folder& folder, WCHAR (&program)[64]) {
    WCHAR path[folder_path_room];
    const DWORD size = GetModuleFileNameW(nullptr, path, folder_path_room);
    WCHAR* last = std::wcsrchr(path, L'\\');
    if (!runs_as_administrator() || size == 0 || size >= folder_path_room || last == nullptr) {
        return false;
    }
    lstrcpynW(program, last + 1, 64);
    last[last > path && last[-1] == L':' ? 1 : 0] = 0; // "C:\" keeps its backslash
    name_folder(path, folder);
    return true;
}
