// The Application event log on Win32, through advapi32, which the products do not import: it is
// looked up once and stays loaded.
#include "../platform.h"
#include "look_up.h"

#include <windows.h>

namespace {

using Register = HANDLE(WINAPI*)(LPCWSTR, LPCWSTR);
using Deregister = BOOL(WINAPI*)(HANDLE);
using Report = BOOL(WINAPI*)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR*, LPVOID);

struct Advapi {
    bool looked_up;
    Register register_source;
    Deregister deregister_source;
    Report report;
};
Advapi g_advapi;
HANDLE g_source;

const Advapi& advapi() {
    if (!g_advapi.looked_up) {
        g_advapi.looked_up = true;
        HMODULE module = LoadLibraryA("advapi32.dll");
        if (module != nullptr) {
            g_advapi.register_source = look_up<Register>(module, "RegisterEventSourceW");
            g_advapi.deregister_source = look_up<Deregister>(module, "DeregisterEventSource");
            g_advapi.report = look_up<Report>(module, "ReportEventW");
        }
    }
    return g_advapi;
}

// Sentences are ASCII but for the paths of the start-up warnings, which are in the ANSI code page.
constexpr int wide_sentence_size = 1536;
// The current folder is at most MAX_PATH long for a program without a long-path manifest.
constexpr DWORD wide_folder_size = MAX_PATH * 2;

} // namespace

std::uint32_t register_event_source() {
    const Advapi& calls = advapi();
    if (calls.register_source == nullptr || calls.deregister_source == nullptr ||
        calls.report == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    if (g_source != nullptr) {
        calls.deregister_source(g_source);
    }
    g_source = calls.register_source(nullptr, L"kq2-supervisor");
    return g_source != nullptr ? 0 : GetLastError();
}

std::uint32_t report_event(EventType type, std::uint32_t id, const char* sentence) {
    if (g_source == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    wchar_t text[wide_sentence_size];
    if (MultiByteToWideChar(CP_ACP, 0, sentence, -1, text, wide_sentence_size) == 0) {
        text[0] = L'\0';
    }
    // The wide path, so that a folder's name outside the code page is told whole.
    wchar_t folder[wide_folder_size];
    const DWORD folder_length = GetFullPathNameW(L".", wide_folder_size, folder, nullptr);
    if (folder_length == 0 || folder_length >= wide_folder_size) {
        folder[0] = L'\0';
    }
    LPCWSTR strings[] = {text, folder};
    if (g_advapi.report(g_source, static_cast<WORD>(type), 0, id, nullptr, 2, 0, strings,
                        nullptr) == FALSE) {
        return GetLastError();
    }
    return 0;
}
