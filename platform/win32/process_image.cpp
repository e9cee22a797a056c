// Whether a process ID names a running program of a given image name.
#include "../platform.h"

#include "../launch_rules.h"

#include <windows.h>

#include <tlhelp32.h>

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
        found = entry.th32ProcessID == pid && file_name_is(entry.szExeFile, image);
    }
    CloseHandle(snapshot);
    return found && !ended(static_cast<DWORD>(pid));
}
