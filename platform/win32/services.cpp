// Clock, sleep, files and messages on Win32.
#include "../brief_lock.h"
#include "../platform.h"
#include "../text_mode.h"
#include "../tick_clock.h"
#include "startup.h"

#include <windows.h>

static TickClock g_clock;

void start_clock() {
    tick_clock_start(g_clock, GetTickCount());
}

Ticks ticks_now() {
    return tick_clock_read(g_clock, GetTickCount());
}

void sleep_seconds(std::uint32_t seconds) {
    Sleep(seconds * 1000u);
}

PathKind path_kind(const char* path, unsigned long* error) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory : PathKind::File;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
        return PathKind::Absent;
    }
    if (error != nullptr) {
        *error = code;
    }
    return PathKind::Unknown;
}

int file_exists(const char* path) {
    const PathKind kind = path_kind(path, nullptr);
    return kind == PathKind::File || kind == PathKind::Directory ? 0 : -1;
}

bool delete_file(const char* path) {
    return DeleteFileA(path) != FALSE;
}

std::size_t read_file_start(const char* path, char* out, std::size_t capacity) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD read = 0;
    if (ReadFile(file, out, static_cast<DWORD>(capacity), &read, nullptr) == FALSE) {
        read = 0;
    }
    CloseHandle(file);
    return read;
}

bool error_text(std::uint32_t code, char* out, std::size_t capacity) {
    // No inserts: a message with %1 in it would otherwise read arguments that are not there.
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       out, static_cast<DWORD>(capacity), nullptr);
    return length != 0;
}

static bool write_handle(void* context, const char* data, std::size_t size) {
    DWORD written = 0;
    const BOOL ok =
        WriteFile(static_cast<HANDLE>(context), data, static_cast<DWORD>(size), &written, nullptr);
    return ok != FALSE && written == size;
}

struct TextWrite {
    const char* path;
    const char* text;
};

// A failure meeting another program's brief hold is Locked, to be tried again.
static Attempt failed_attempt() {
    return is_brief_lock_error(GetLastError()) ? Attempt::Locked : Attempt::Failed;
}

static Attempt write_text_once(void* context) {
    const auto* write = static_cast<const TextWrite*>(context);
    const char* path = write->path;
    // Truncating first keeps an existing file's own attributes; create only when it is missing.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return failed_attempt();
    }
    TextBuffer buffer;
    text_buffer_open(buffer, write_handle, file);
    text_buffer_put(buffer, write->text, false);
    if (!text_buffer_flush(buffer)) {
        const Attempt result = failed_attempt();
        CloseHandle(file);
        return result;
    }
    return CloseHandle(file) != FALSE ? Attempt::Done : failed_attempt();
}

static void pause_ms(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

bool write_text_file(const char* path, const char* text) {
    TextWrite write{path, text};
    return attempt_through_brief_locks(write_text_once, &write, pause_ms);
}

// Standard output is the program's own buffer, so that no C runtime stdio is needed.
static TextBuffer g_stdout;
static bool g_stdout_open;
static bool g_stdout_is_console;

void print_message(const char* text) {
    if (!g_stdout_open) {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        g_stdout_is_console = GetFileType(out) == FILE_TYPE_CHAR;
        text_buffer_open(g_stdout, write_handle, out);
        g_stdout_open = true;
    }
    text_buffer_put(g_stdout, text, g_stdout_is_console);
}

void print_warning(const char* text) {
    TextBuffer buffer;
    text_buffer_open(buffer, write_handle, GetStdHandle(STD_ERROR_HANDLE));
    text_buffer_put(buffer, text, false);
    text_buffer_flush(buffer);
}

void exit_process(int code) {
    if (g_stdout_open) {
        text_buffer_flush(g_stdout);
    }
    ExitProcess(static_cast<UINT>(code));
}
