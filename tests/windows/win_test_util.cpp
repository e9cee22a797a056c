#include "win_test_util.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

std::string exe_dir() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

std::string product_path(const char* name) {
    return exe_dir() + "..\\bin\\" + name;
}

std::string probe_path(const char* name) {
    return exe_dir() + name;
}

std::string quoted(const std::string& path) {
    return '"' + path + '"';
}

// Wide, so that a test's folders named outside the ANSI code page go too.
static void remove_tree(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = dir + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(dir.c_str());
}

// This user, SYSTEM and Administrators only, not inherited from where the tests lie: from Vista
// on a folder made at C:\ lets Authenticated Users change it, which the supervisor and kq2stat
// would say throughout. Wine keeps what the mode bits can say.
static SECURITY_ATTRIBUTES* closed() {
    static SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    HANDLE token = nullptr;
    DWORD user[64];
    DWORD size = 0;
    char* sid = nullptr;
    if (attributes.lpSecurityDescriptor == nullptr &&
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid)) {
        const std::string sddl =
            std::string("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + sid + ")";
        ConvertStringSecurityDescriptorToSecurityDescriptorA(
            sddl.c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr);
        LocalFree(sid);
    }
    if (token != nullptr) {
        CloseHandle(token);
    }
    return attributes.lpSecurityDescriptor != nullptr ? &attributes : nullptr;
}

std::string fresh_work_dir(const char* tag) {
    const std::string root = exe_dir() + "work";
    CreateDirectoryA(root.c_str(), nullptr);
    const std::string dir = root + "\\" + tag;
    remove_tree(widen(dir));
    CreateDirectoryA(dir.c_str(), closed());
    return dir;
}

std::string read_file(const std::string& path) {
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return bytes;
    }
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.append(chunk, n);
    }
    std::fclose(f);
    return bytes;
}

void write_file(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

void copy_product(const char* name, const std::string& dir) {
    CopyFileA(product_path(name).c_str(), (dir + "\\" + name).c_str(), FALSE);
}

// NtQuerySystemInformation's SystemHandleInformation (class 16) and its entries.
struct HandleEntry {
    ULONG pid;
    UCHAR object_type;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

unsigned long count_process_handles(DWORD pid) {
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return 0;
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            break;
        }
        if (buffer.size() > (64u << 20)) {
            return 0;
        }
        buffer.resize(buffer.size() * 2);
    }
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    unsigned long count = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        if (table->entries[i].pid == pid) {
            ++count;
        }
    }
    return count;
}

std::wstring widen(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int units =
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(units > 0 ? static_cast<std::size_t>(units - 1) : 0);
    return wide;
}

namespace {
std::mutex watch_lock;
std::string watched; // empty: no call is watched
DWORD watched_since = 0;
const DWORD call_bound_ms = 60000;

void watch_calls() {
    for (;;) {
        Sleep(1000);
        const std::lock_guard<std::mutex> hold(watch_lock);
        if (!watched.empty() && GetTickCount() - watched_since > call_bound_ms) {
            std::fprintf(stderr, "hung: %s did not return within %lu s\n", watched.c_str(),
                         call_bound_ms / 1000);
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}
} // namespace

WatchedCall::WatchedCall(const std::string& what) {
    static std::once_flag started;
    std::call_once(started, [] { std::thread(watch_calls).detach(); });
    const std::lock_guard<std::mutex> hold(watch_lock);
    watched = what;
    watched_since = GetTickCount();
}

WatchedCall::~WatchedCall() {
    const std::lock_guard<std::mutex> hold(watch_lock);
    watched.clear();
}

Started start_process(const std::string& command_line, const char* dir, const char* output,
                      DWORD flags) {
    const std::wstring wide_dir = dir != nullptr ? widen(dir) : std::wstring();
    return start_process_w(widen(command_line), dir != nullptr ? wide_dir.c_str() : nullptr, output,
                           flags);
}

Started start_process_w(const std::wstring& command_line, const wchar_t* dir, const char* output,
                        DWORD flags) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    HANDLE out = INVALID_HANDLE_VALUE;
    if (output != nullptr) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        out = CreateFileA(output, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out;
        si.hStdError = out;
    }
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');
    PROCESS_INFORMATION pi{};
    Started started{nullptr, 0, 0};
    std::string what(command_line.size(), '?'); // the line as the log can show it
    for (std::size_t i = 0; i < what.size(); ++i) {
        what[i] = command_line[i] < 128 ? static_cast<char>(command_line[i]) : '?';
    }
    const WatchedCall call("CreateProcessW(" + what + ")");
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, dir, &si,
                       &pi)) {
        CloseHandle(pi.hThread);
        started.process = pi.hProcess;
        started.pid = pi.dwProcessId;
    } else {
        started.error = GetLastError();
    }
    if (out != INVALID_HANDLE_VALUE) {
        CloseHandle(out);
    }
    return started;
}

bool operator==(const Finished& finished, DWORD exit_code) {
    return finished.how == Finished::exited && finished.value == exit_code;
}

std::ostream& operator<<(std::ostream& out, const Finished& finished) {
    static const char* const how[] = {"exit code ", "not started: error ", "wait failed: error ",
                                      "still running after "};
    out << how[finished.how] << finished.value;
    return finished.how == Finished::timed_out ? out << " ms" : out;
}

Finished finish_process(Started& started, DWORD ms) {
    if (started.process == nullptr) {
        return {Finished::not_started, started.error};
    }
    Finished finished{Finished::timed_out, ms};
    const DWORD waited = WaitForSingleObject(started.process, ms);
    if (waited == WAIT_OBJECT_0) {
        finished = {Finished::exited, 0};
        if (!GetExitCodeProcess(started.process, &finished.value)) {
            finished = {Finished::wait_failed, GetLastError()};
        }
    } else if (waited != WAIT_TIMEOUT) {
        finished = {Finished::wait_failed, GetLastError()};
    }
    CloseHandle(started.process);
    started.process = nullptr;
    return finished;
}

bool process_alive(DWORD pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (h == nullptr) {
        return false;
    }
    const bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return alive;
}

// Looked up at run time: kernel32's from Vista on (and Wine), which the system answers from what it
// knows of the process; psapi's on Windows XP, which reads the process's own module list and so
// fails for one that has not started yet.
using ImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
using ModuleFileName = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);

void end_process(DWORD pid, const std::wstring& image) {
    static const auto image_name = reinterpret_cast<ImageName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameW")));
    static const auto module_name = reinterpret_cast<ModuleFileName>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("psapi.dll"), "GetModuleFileNameExW")));
    HANDLE h =
        OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (h == nullptr) {
        return;
    }
    wchar_t name[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    const bool named = image_name != nullptr    ? image_name(h, 0, name, &size) != FALSE
                       : module_name != nullptr ? module_name(h, nullptr, name, size) != 0
                                                : false;
    if (!named) {
        std::fprintf(stderr, "end_process: the image of process %lu cannot be read; not ended\n",
                     static_cast<unsigned long>(pid));
    } else if (lstrcmpiW(name, image.c_str()) == 0) {
        TerminateProcess(h, 9);
    }
    CloseHandle(h);
}

HANDLE make_foreign_object(const char* name, bool section) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID local_service = nullptr;
    if (AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SERVICE_RID, 0, 0, 0, 0, 0, 0, 0,
                                 &local_service) == FALSE) {
        return nullptr;
    }
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&descriptor, local_service, FALSE);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    HANDLE made = section ? CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                               sizeof(long), name)
                          : CreateMutexA(&attributes, FALSE, name);
    FreeSid(local_service);
    return made;
}

// Whether the folder's DACL lets Everyone add files, as Wine makes it from the mode bits.
static bool everyone_may_add(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool may = false;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) == ERROR_SUCCESS &&
        dacl != nullptr) {
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            may |= GetAce(dacl, i, reinterpret_cast<void**>(&ace)) != FALSE &&
                   ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                   IsWellKnownSid(&ace->SidStart, WinWorldSid) != FALSE &&
                   (ace->Mask & FILE_ADD_FILE) != 0;
        }
    }
    LocalFree(descriptor);
    return may;
}

bool unix_chmod(const std::string& path, const char* mode) {
    // Wine's own export; Wine starts a Unix program that CreateProcess is given, but signals its
    // end at once and passes on no exit status: the mode is awaited in the folder's DACL.
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unix_name != nullptr ? unix_name(widen(path).c_str()) : nullptr;
    if (name == nullptr) {
        return false;
    }
    Started chmod = start_process(std::string("/bin/chmod ") + mode + " \"" + name + "\"");
    HeapFree(GetProcessHeap(), 0, name);
    finish_process(chmod, 10000);
    const bool open = std::strstr(mode, "+w") != nullptr;
    for (int tries = 0; tries < 200; ++tries, Sleep(50)) {
        if (everyone_may_add(path) == open) {
            return true;
        }
    }
    return false;
}
