// Key input against the real console: the test writes records into its own console's input and
// reads them back through key_available and read_key.
#include "platform/platform.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

INPUT_RECORD key(WORD vk, WORD scan, char ch, bool down = true, WORD repeat = 1,
                 DWORD control = 0) {
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent = KEY_EVENT_RECORD{down ? TRUE : FALSE, repeat, vk, scan, {}, control};
    r.Event.KeyEvent.uChar.AsciiChar = ch;
    return r;
}
INPUT_RECORD other(WORD type) {
    INPUT_RECORD r{};
    r.EventType = type;
    return r;
}
const INPUT_RECORD esc = key(VK_ESCAPE, 0x01, 27);
const INPUT_RECORD esc_up = key(VK_ESCAPE, 0x01, 27, false);
const INPUT_RECORD shift = key(VK_SHIFT, 0x2a, 0);
// A distinctive mode that read_key must put back.
const DWORD test_mode = ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT;

HANDLE open_console_input() {
    return CreateFileA("conin$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct ConsoleKeys : ::testing::Test {
    HANDLE input = INVALID_HANDLE_VALUE;

    // Wine's console reads the terminal from the first peek on and makes records of it a little
    // later. Under script(1) with no input, the terminal holds the EOF that script passes on, which
    // arrives as a Ctrl+@ key press. Wait until the input stays quiet, then drop what came.
    static void SetUpTestSuite() {
        HANDLE input = open_console_input();
        INPUT_RECORD record;
        DWORD count = 0;
        DWORD last = 0;
        const DWORD start = GetTickCount();
        DWORD quiet_since = start;
        while (GetTickCount() - quiet_since < 300 && GetTickCount() - start < 3000) {
            PeekConsoleInputA(input, &record, 1, &count);
            if (GetNumberOfConsoleInputEvents(input, &count) != FALSE && count != last) {
                last = count;
                quiet_since = GetTickCount();
            }
            Sleep(10);
        }
        FlushConsoleInputBuffer(input);
        CloseHandle(input);
    }
    void SetUp() override {
        input = open_console_input();
        ASSERT_NE(input, INVALID_HANDLE_VALUE) << "no console: run in a terminal";
        ASSERT_TRUE(FlushConsoleInputBuffer(input));
        ASSERT_TRUE(SetConsoleMode(input, test_mode));
    }
    void TearDown() override { CloseHandle(input); }
    void inject(const std::vector<INPUT_RECORD>& records) {
        DWORD written = 0;
        ASSERT_TRUE(WriteConsoleInputA(input, records.data(), static_cast<DWORD>(records.size()),
                                       &written));
        ASSERT_EQ(written, records.size());
    }
    DWORD waiting() {
        DWORD count = 0;
        EXPECT_TRUE(GetNumberOfConsoleInputEvents(input, &count));
        return count;
    }
    DWORD mode() {
        DWORD m = 0;
        EXPECT_TRUE(GetConsoleMode(input, &m));
        return m;
    }
    // One poll of the watchdog: a code when a key waits, else -2.
    static int poll() { return key_available() ? read_key() : -2; }
};

TEST_F(ConsoleKeys, PollDropsWhatIsNoKeyPressAndLeavesEscForTheRead) {
    EXPECT_FALSE(key_available());
    inject({other(MOUSE_EVENT), other(FOCUS_EVENT), other(WINDOW_BUFFER_SIZE_EVENT),
            other(MENU_EVENT), shift, key(VK_CONTROL, 0x1d, 0), key(VK_MENU, 0x38, 0),
            key(VK_SHIFT, 0x2a, 0, false), esc, esc_up});
    EXPECT_TRUE(key_available());
    EXPECT_TRUE(key_available());
    INPUT_RECORD head{};
    DWORD count = 0;
    EXPECT_TRUE(PeekConsoleInputA(input, &head, 1, &count));
    EXPECT_EQ(head.Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
    EXPECT_EQ(waiting(), 2u);
    EXPECT_EQ(read_key(), 27);
    EXPECT_EQ(mode(), test_mode);
    EXPECT_FALSE(key_available());
    EXPECT_EQ(waiting(), 0u);
}

TEST_F(ConsoleKeys, CodesOverSuccessivePolls) {
    inject({key('X', 0x2d, 'x', true, 2), key(VK_OEM_7, 0x28, '\xe4'),
            key(VK_UP, 0x48, 0, true, 1, ENHANCED_KEY), key(VK_UP, 0x48, 0, false)});
    const int codes[] = {'x', 'x', 0xe4, 0};
    for (const int code : codes) {
        EXPECT_EQ(poll(), code);
    }
    EXPECT_EQ(poll(), -2); // the arrow's scan code is owed until a key waits
    inject({esc, esc_up});
    EXPECT_EQ(poll(), 0x48);
    EXPECT_EQ(poll(), 27);
    EXPECT_EQ(mode(), test_mode);
}

TEST_F(ConsoleKeys, ReadWaitsInModeZeroAndRestoresTheMode) {
    std::atomic<int> code{-2};
    std::thread reader([&code] { code = read_key(); });
    DWORD seen = test_mode;
    for (int i = 0; i < 200 && seen != 0; ++i) {
        Sleep(10);
        seen = mode();
    }
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(code, -2);
    inject({shift, esc});
    reader.join();
    EXPECT_EQ(code, 27);
    EXPECT_EQ(mode(), test_mode);
}

// Started without a console, the probe polls in vain; as the open is retried on every call, its
// first poll after it joins this console finds the key waiting here.
TEST_F(ConsoleKeys, OpenIsRetriedUntilAConsoleIsThere) {
    inject({esc, esc_up});
    Started probe = start_process("\"" + probe_path("detached_keys.exe") + "\" " +
                                      std::to_string(GetCurrentProcessId()),
                                  nullptr, nullptr, DETACHED_PROCESS);
    ASSERT_NE(probe.process, nullptr);
    const DWORD faults = finish_process(probe, 10000);
    EXPECT_EQ(faults, 0u) << "as listed in the probe";
    EXPECT_EQ(waiting(), 1u); // the probe read ESC and left its key-up
}

} // namespace
