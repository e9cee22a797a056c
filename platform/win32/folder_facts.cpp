// The facts behind the start-up folder warnings, as the system gives them.
#include "../platform.h"
#include "folder_access.h"
#include "folder_path.h"
#include "look_up.h"

#include <windows.h>

#include <cstring>

namespace {

// A path the system wrote into a buffer of fact_path_size, kept only when it fitted.
void keep_fitting(char (&out)[fact_path_size], DWORD length) {
    if (length == 0 || length >= fact_path_size) {
        out[0] = '\0';
    }
}

void normalise_into(char (&out)[fact_path_size], const char* path) {
    if (path == nullptr || *path == '\0' || !normalised_folder_path(path, out, sizeof out)) {
        out[0] = '\0';
    }
}

void normalise_environment(char (&out)[fact_path_size], const char* name) {
    normalise_into(out, get_environment_value(name));
}

// Missing before XP x64; looked up so that the supervisor still starts on 32-bit XP.
void wow64_system_folder(char (&out)[fact_path_size]) {
    using Query = UINT(WINAPI*)(LPSTR, UINT);
    const auto query = look_up<Query>(GetModuleHandleA("kernel32.dll"), "GetSystemWow64DirectoryA");
    char raw[fact_path_size];
    if (query == nullptr) {
        return;
    }
    const UINT length = query(raw, sizeof raw);
    if (length != 0 && length < sizeof raw) {
        normalise_into(out, raw);
    }
}

// The token query lives in advapi32, which the products do not import; before Vista there is no
// virtualisation and the query fails.
bool token_virtualised() {
    using OpenToken = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using QueryToken = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    if (advapi == nullptr) {
        return false;
    }
    const auto open_token = look_up<OpenToken>(advapi, "OpenProcessToken");
    const auto query = look_up<QueryToken>(advapi, "GetTokenInformation");
    HANDLE token = nullptr;
    DWORD enabled = 0;
    DWORD size = 0;
    bool virtualised = false;
    if (open_token != nullptr && query != nullptr &&
        open_token(GetCurrentProcess(), TOKEN_QUERY, &token) != FALSE) {
        // TokenVirtualizationEnabled, from Vista on.
        virtualised = query(token, static_cast<TOKEN_INFORMATION_CLASS>(24), &enabled,
                            sizeof enabled, &size) != FALSE &&
                      enabled != 0;
        CloseHandle(token);
    }
    FreeLibrary(advapi);
    return virtualised;
}

void own_folder(StartupFacts& facts) {
    char* folder = facts.own_folder;
    const DWORD length = GetModuleFileNameA(nullptr, folder, fact_path_size);
    if (length == 0 || length >= fact_path_size) {
        folder[0] = '\0';
        return;
    }
    char* last = std::strrchr(folder, '\\');
    if (last == nullptr || static_cast<std::size_t>(last - folder) + 9 > fact_path_size) {
        folder[0] = '\0';
        return;
    }
    // "C:\kq2.exe" beside "C:\supervisor.exe"; the root keeps its backslash.
    std::memcpy(last + 1, "kq2.exe", 8);
    const DWORD attributes = GetFileAttributesA(folder);
    facts.worker_in_own_folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    last[last > folder && last[-1] == ':' ? 1 : 0] = '\0';
    normalise_into(facts.own_folder_normalised, folder);
}

} // namespace

void gather_startup_facts(StartupFacts& facts) {
    facts = StartupFacts{};
    keep_fitting(facts.current, GetCurrentDirectoryA(fact_path_size, facts.current));
    normalise_into(facts.current_normalised, ".");
    own_folder(facts);
    facts.virtualised = token_virtualised();
    const char* local = get_environment_value("LOCALAPPDATA");
    if (local != nullptr && std::strlen(local) < fact_path_size) {
        std::memcpy(facts.local_app_data, local, std::strlen(local) + 1);
    }
    char raw[fact_path_size];
    // The system's own Windows folder: on a terminal server GetWindowsDirectory gives the user's.
    const UINT windows = GetSystemWindowsDirectoryA(raw, sizeof raw);
    if (windows != 0 && windows < sizeof raw) {
        normalise_into(facts.windows, raw);
    }
    const UINT system = GetSystemDirectoryA(raw, sizeof raw);
    if (system != 0 && system < sizeof raw) {
        normalise_into(facts.system, raw);
    }
    wow64_system_folder(facts.system_wow64);
    normalise_environment(facts.program_files[0], "ProgramFiles");
    normalise_environment(facts.program_files[1], "ProgramW6432");
    normalise_environment(facts.program_files[2], "ProgramFiles(x86)");
    normalise_environment(facts.program_data, "ProgramData");
    judge_folder_access(L".", L"kq2.exe", "kq2.exe", true, CP_ACP, nullptr, facts.access);
}
