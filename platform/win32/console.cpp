// Console key input on Win32. The console's input buffer is opened by name, so that keys are read
// from the console even when standard input is redirected.
#include "../console_mode.h"
#include "../key_decoder.h"
#include "../platform.h"

#include <windows.h>

static HANDLE g_input = INVALID_HANDLE_VALUE;
static KeyDecoder g_decoder;  // zero: nothing owed
static bool g_quick_edit_off; // console_quick_edit_off has run on a console
static DWORD g_start_mode;    // the input mode it read

static HANDLE open_console_input(DWORD access) {
    // Windows 8 and later refuse a console input open that does not share write access, as every
    // console process holds its own read-write input handle (CreateFile, "Consoles").
    return CreateFileA("conin$", access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The console input, opened on first use and kept. Without a console the open fails; it is tried
// again on every call, as a console may be attached later. Reading needs only read access, but
// Wine refuses SetConsoleMode on a handle without write access, so that is asked for first.
static HANDLE console_input() {
    if (g_input == INVALID_HANDLE_VALUE) {
        g_input = open_console_input(GENERIC_READ | GENERIC_WRITE);
    }
    if (g_input == INVALID_HANDLE_VALUE) {
        g_input = open_console_input(GENERIC_READ);
    }
    return g_input;
}

static void to_key_record(const INPUT_RECORD& in, KeyRecord& out) {
    out = KeyRecord{};
    if (in.EventType != KEY_EVENT) {
        out.kind = KeyRecordKind::Other;
        return;
    }
    const KEY_EVENT_RECORD& key = in.Event.KeyEvent;
    out.kind = KeyRecordKind::Key;
    out.key_down = key.bKeyDown != FALSE;
    out.repeat_count = key.wRepeatCount;
    out.virtual_key = key.wVirtualKeyCode;
    out.scan_code = key.wVirtualScanCode;
    out.character = static_cast<unsigned char>(key.uChar.AsciiChar);
    out.enhanced = (key.dwControlKeyState & ENHANCED_KEY) != 0;
    // Wine's terminal console reports a lone typed ESC without its character; Windows gives 27.
    if (out.key_down && out.virtual_key == VK_ESCAPE && out.character == 0 && !out.enhanced) {
        out.character = 27;
    }
}

static PeekResult peek_record(void* context, KeyRecord& record) {
    INPUT_RECORD in;
    DWORD count = 0;
    if (PeekConsoleInputA(static_cast<HANDLE>(context), &in, 1, &count) == FALSE) {
        return PeekResult::Failed;
    }
    if (count == 0) {
        return PeekResult::Empty;
    }
    to_key_record(in, record);
    return PeekResult::Record;
}

static bool read_record(void* context, KeyRecord& record) {
    INPUT_RECORD in;
    DWORD count = 0;
    if (ReadConsoleInputA(static_cast<HANDLE>(context), &in, 1, &count) == FALSE || count != 1) {
        return false;
    }
    to_key_record(in, record);
    return true;
}

bool key_available() {
    HANDLE input = console_input();
    if (input == INVALID_HANDLE_VALUE) {
        return false;
    }
    return key_poll(KeySource{peek_record, read_record, input});
}

// Without a console no record can be read, but codes still owed by the last key are delivered.
static bool no_record(void*, KeyRecord&) {
    return false;
}

int read_key() {
    HANDLE input = console_input();
    if (input == INVALID_HANDLE_VALUE) {
        return key_decode(g_decoder, KeySource{nullptr, no_record, nullptr});
    }
    // Mode 0 for the read: no line input, no echo, and Ctrl+C arrives as a key, not a signal.
    DWORD saved = 0;
    const bool have_mode = GetConsoleMode(input, &saved) != FALSE;
    if (have_mode) {
        SetConsoleMode(input, 0);
    }
    const int code = key_decode(g_decoder, KeySource{peek_record, read_record, input});
    if (have_mode) {
        // Set back with QuickEdit still off, whatever another program of the console changed.
        SetConsoleMode(input, g_quick_edit_off ? without_quick_edit(saved) : saved);
    }
    return code;
}

// Windows pauses a console's writers during a selection; Wine stores the bits but never pauses.
void console_quick_edit_off() {
    HANDLE input = console_input();
    if (input == INVALID_HANDLE_VALUE || GetConsoleMode(input, &g_start_mode) == FALSE) {
        return;
    }
    g_quick_edit_off = SetConsoleMode(input, without_quick_edit(g_start_mode)) != FALSE;
}

void console_restore_mode() {
    if (g_quick_edit_off) {
        SetConsoleMode(g_input, mode_to_restore(g_start_mode));
    }
}
