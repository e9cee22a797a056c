#include "process_image.h"

#include <windows.h>

#include <tlhelp32.h>

static char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

static bool same_name(const char* a, const char* b) {
    while (*a != '\0' && folded(*a) == folded(*b)) {
        ++a;
        ++b;
    }
    return *a == '\0' && *b == '\0';
}

// The file name of an image path (XP gives the name alone; the path's last part either way).
static const char* file_name(const char* path) {
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '\\' || *c == '/') {
            name = c + 1;
        }
    }
    return name;
}

// A process that has ended but whose handle another program still holds can stay listed.
static bool ended(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        return false; // another account's process: the list alone must do
    }
    DWORD code = STILL_ACTIVE;
    const bool has_ended = GetExitCodeProcess(process, &code) != FALSE && code != STILL_ACTIVE;
    CloseHandle(process);
    return has_ended;
}

bool process_runs_image(unsigned long pid, const char* image) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more != FALSE && !found;
         more = Process32Next(snapshot, &entry)) {
        found = entry.th32ProcessID == pid && same_name(file_name(entry.szExeFile), image);
    }
    CloseHandle(snapshot);
    return found && !ended(static_cast<DWORD>(pid));
}
