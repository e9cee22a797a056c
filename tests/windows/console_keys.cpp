// Key input against the real console: the test writes records into its own console's input and
// reads them back through key_available and read_key.
#include "platform/platform.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

INPUT_RECORD key(WORD vk, WORD scan, char ch, WORD repeat = 1, DWORD state = 0, BOOL down = TRUE) {
    INPUT_RECORD r{KEY_EVENT, {}};
    r.Event.KeyEvent = KEY_EVENT_RECORD{down, repeat, vk, scan, {}, state};
    r.Event.KeyEvent.uChar.AsciiChar = ch;
    return r;
}
const INPUT_RECORD esc = key(VK_ESCAPE, 0x01, 27);
// A distinctive mode that read_key must put back.
const DWORD test_mode = ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT;

struct ConsoleKeys : ::testing::Test {
    HANDLE input =
        CreateFileA("conin$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

    void SetUp() override {
        ASSERT_NE(input, INVALID_HANDLE_VALUE) << "no console: run in a terminal";
        ASSERT_TRUE(FlushConsoleInputBuffer(input));
        ASSERT_TRUE(SetConsoleMode(input, test_mode));
    }
    void TearDown() override { CloseHandle(input); }
    void inject(const std::vector<INPUT_RECORD>& records) {
        DWORD written = 0;
        WriteConsoleInputA(input, records.data(), static_cast<DWORD>(records.size()), &written);
        EXPECT_EQ(written, records.size());
    }
    DWORD query(BOOL(WINAPI* get)(HANDLE, DWORD*)) {
        DWORD value = ~0u;
        EXPECT_TRUE(get(input, &value));
        return value;
    }
};

TEST_F(ConsoleKeys, PollsDropWhatIsNoKeyPressAndReadsWaitInModeZero) {
    INPUT_RECORD mouse = esc; // not a key event, though its fields would make ESC
    mouse.EventType = MOUSE_EVENT;
    inject({mouse, key(VK_SHIFT, 0x2a, 0), key(VK_OEM_7, 0x28, '\xe4', 2),
            key(VK_OEM_7, 0x28, '\xe4', 1, 0, FALSE), key(VK_RETURN, 0x1c, '\r', 1, ENHANCED_KEY),
            esc});
    EXPECT_TRUE(key_available());
    EXPECT_EQ(query(GetNumberOfConsoleInputEvents), 4u); // what was no key press is gone
    // One read per poll, as the watchdog does (-2: no key waits). Keypad Enter is enhanced: it
    // gives 0, then its scan code.
    for (const int code : {0xe4, 0xe4, 0, 0x1c, 27}) {
        EXPECT_EQ(key_available() ? read_key() : -2, code);
    }
    EXPECT_FALSE(key_available()); // and nothing is read, which would wait
    // With nothing waiting, a read waits in mode 0, and puts the mode back once a key comes.
    std::thread reader([] { EXPECT_EQ(read_key(), 27); });
    for (int i = 0; i < 200 && query(GetConsoleMode) != 0; ++i) {
        Sleep(10);
    }
    EXPECT_EQ(query(GetConsoleMode), 0u);
    inject({key(VK_SHIFT, 0x2a, 0), esc});
    reader.join();
    EXPECT_EQ(query(GetConsoleMode), test_mode);
}

} // namespace
