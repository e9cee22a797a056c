// kq2stat [--stale SECONDS] [--prometheus FILE] [FOLDER ...]: reads the folders where supervisors
// run, without changing anything there, and reports their state to a monitoring engine: a
// Monitoring Plugins line and exit status, and optionally a Prometheus textfile. Gathers facts
// only; monitor/ judges and formats them. Folders and files are named in UTF-16 (wmain), so that
// a folder outside the ANSI code page is seen and named exactly.
#include "monitor/folder_state.h"
#include "monitor/plugin_output.h"
#include "monitor/prometheus_text.h"
#include "platform/win32/folder_access.h"
#include "platform/win32/monitor_facts.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#ifndef KQ2_VERSION
#define KQ2_VERSION "0"
#endif

namespace {

constexpr std::size_t path_room = folder_path_size;
static_assert(path_room == MAX_PATH * 2 && path_room == folder_path_room,
              "the room that the texts are sized for");
constexpr std::uint32_t default_stale_seconds = 60;
// The collector opens *.prom files without delete sharing: the replace is tried again briefly.
constexpr int move_tries = 40;
constexpr DWORD move_retry_ms = 25;

// alignas: GCC would pad it to 32 bytes, which kq2stat's size limit cannot spare.
alignas(4) const char usage[] =
    "usage: kq2stat.exe [--stale SECONDS] [--prometheus FILE] [FOLDER ...]\n"
    "       kq2stat.exe --help | --version\n"
    "Reports the state of the kq2 supervisor in each FOLDER (none: the current folder) as a\n"
    "monitoring plugin: one line, exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n"
    "  --stale SECONDS    log_kq.txt older than this is CRITICAL (default 60)\n"
    "  --prometheus FILE  also write the metrics to FILE for a textfile collector\n";

// One more: kq2stat's own folder, after the judged ones, where it is not one of them.
FolderFacts facts[max_folders + 1];
Verdict verdicts[max_folders + 1];
Folder folders[max_folders + 1];
Utf16Text labels[max_folders + 1];
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
    // What SYSTEM or an administrator runs from kq2stat's own folder: judged with the folder where
    // it is one of them, else after them.
    Folder& own = folders[max_folders];
    WCHAR program[64];
    const bool own_checked = own_folder(own, program);
    std::size_t own_slot = max_folders + 1;
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
        gather_folder_facts(folders[judged], facts[judged]);
        if (own_checked && same_folder(own, folders[judged])) {
            own_slot = judged;
        }
        labels[judged] = Utf16Text{folders[judged].label, folders[judged].label_size};
        ++judged;
    }
    const bool own_apart = own_checked && own_slot > max_folders;
    if (own_apart) {
        own_slot = judged;
        facts[judged].folder = own.text; // a slot no folder used: still zeroed
        facts[judged].is_folder = true;
        labels[judged] = Utf16Text{own.label, own.label_size};
    }
    if (own_checked) {
        // Typed by its path there: the current folder's rule is not the search. The supervisor's
        // account is a stranger here, where SYSTEM and administrators run programs.
        judge_folder_access(own.path, program, "kq2stat.exe", false, CP_UTF8, nullptr,
                            facts[own_slot].access);
    }
    for (std::size_t i = 0; i < judged; ++i) {
        verdicts[i] = judge_folder(facts[i], stale_seconds);
    }
    const char* failure = nullptr;
    if (prometheus_file != nullptr) {
        TextBuf metrics = text_buf(prometheus_text, sizeof prometheus_text);
        format_prometheus(metrics, facts, verdicts, labels, judged, stale_seconds, own_apart);
        // Never half a file: one cut short is not written at all.
        failure = metrics.overflow ? "the metrics do not fit kq2stat's buffer"
                                   : write_prometheus(prometheus_file, metrics.data, metrics.size);
    }
    TextBuf out = text_buf(plugin_text, sizeof plugin_text);
    const State state =
        format_plugin_output(out, facts, verdicts, judged, stale_seconds, failure, own_apart);
    write_out(plugin_text, STD_OUTPUT_HANDLE);
    return static_cast<int>(state);
}
