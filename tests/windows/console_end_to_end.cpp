// ESC typed into the console that the supervisor shares with this test ends it, and only ESC.
// Runs in a terminal, so that Wine gives the processes a real console.
#include "end_to_end.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

void type_key(HANDLE input, WORD vk, WORD scan, char ch, DWORD state = 0) {
    INPUT_RECORD records[2]{};
    for (int i = 0; i < 2; ++i) {
        records[i].EventType = KEY_EVENT;
        KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        key.bKeyDown = i == 0;
        key.wRepeatCount = 1;
        key.wVirtualKeyCode = vk;
        key.wVirtualScanCode = scan;
        key.uChar.AsciiChar = ch;
        key.dwControlKeyState = state;
    }
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputA(input, records, 2, &written));
    ASSERT_EQ(written, 2u);
}

TEST(ConsoleEndToEnd, OnlyEscEndsTheSupervisorTheWorkerGoesOnAndQuickEditIsOffMeanwhile) {
    HANDLE input =
        CreateFileA("conin$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(input, INVALID_HANDLE_VALUE) << "no console: run this test in a terminal";
    FlushConsoleInputBuffer(input);
    const DWORD quick_edit_on = 0x1f7; // as Windows 10 and 11 start a console
    ASSERT_TRUE(SetConsoleMode(input, quick_edit_on));

    SupervisorRun run("console_esc");
    ASSERT_TRUE(run.start("/beat:2 /record"));
    ASSERT_TRUE(run.wait_for_status("running since  2 seconds", 15000)) << run.status();

    type_key(input, VK_SHIFT, 0x2A, 0, SHIFT_PRESSED);
    type_key(input, VK_UP, 0x48, 0, ENHANCED_KEY);
    type_key(input, 'X', 0x2D, 'x');
    EXPECT_EQ(WaitForSingleObject(run.supervisor.process, 3000), WAIT_TIMEOUT)
        << "a key other than ESC ended the supervisor";
    DWORD mode = 0;
    GetConsoleMode(input, &mode);
    EXPECT_EQ(mode, quick_edit_on & ~ENABLE_QUICK_EDIT_MODE); // also after the reads

    const DWORD typed = GetTickCount();
    type_key(input, VK_ESCAPE, 0x01, 27);
    ASSERT_EQ(WaitForSingleObject(run.supervisor.process, 5000), WAIT_OBJECT_0);
    const DWORD took = GetTickCount() - typed;
    EXPECT_LE(took, 1500u) << "ESC should end the supervisor within about a second";
    DWORD code = 99;
    GetExitCodeProcess(run.supervisor.process, &code);
    EXPECT_EQ(code, 0u);
    GetConsoleMode(input, &mode);
    EXPECT_EQ(mode, quick_edit_on);

    ASSERT_EQ(run.worker_starts().size(), 1u);
    const DWORD worker = run.worker_starts()[0].pid;
    Sleep(500);
    EXPECT_TRUE(process_alive(worker)) << "the worker must outlive the supervisor";
    CloseHandle(input);
}

// The newest events of the supervisor's source as wevtutil writes them, or why they cannot be read:
// Wine's event log is a stub, and Windows XP has no wevtutil.
std::string read_back_events(const SupervisorRun& run, std::string& why) {
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) {
        why = "Wine, whose event log keeps nothing";
        return "";
    }
    if (LOBYTE(LOWORD(GetVersion())) < 6) {
        why = "Windows XP, which has no wevtutil";
        return "";
    }
    // A 32-bit program on 64-bit Windows reaches the native System32 through Sysnative.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string tool = std::string(windows) + "\\Sysnative\\wevtutil.exe";
    if (GetFileAttributesA(tool.c_str()) == INVALID_FILE_ATTRIBUTES) {
        tool = "wevtutil.exe";
    }
    const std::string out = run.path("events.txt");
    Started query = start_process(tool + " qe Application /q:\"*[System[Provider[@Name='kq2-"
                                         "supervisor']]]\" /rd:true /c:20 /f:text",
                                  nullptr, out.c_str());
    finish_process(query, 30000);
    // Read as ASCII whether it wrote UTF-16 or the code page.
    std::string text = read_file(out);
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
}

// ESC leaves the worker running but frees the folder: the lock is not inherited by the worker.
// The first run's start, restart and ESC are read back from the event log.
TEST(ConsoleEndToEnd, AfterEscTheFolderTakesANewSupervisorThatNamesTheLeftWorker) {
    HANDLE input =
        CreateFileA("conin$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(input, INVALID_HANDLE_VALUE) << "no console: run this test in a terminal";
    FlushConsoleInputBuffer(input);
    SupervisorRun run("console_lock");
    // A worker that never beats writes nothing more into the output that both runs share.
    ASSERT_TRUE(run.start("/nobeat /record"));
    ASSERT_TRUE(run.wait_for_status("restarts 2 ,", 90000)) << run.status();
    type_key(input, VK_ESCAPE, 0x01, 27);
    ASSERT_EQ(finish_process(run.supervisor, 5000), 0u);
    ASSERT_EQ(run.worker_starts().size(), 2u);
    const DWORD left = run.worker_starts()[1].pid;
    ASSERT_TRUE(process_alive(left));
    std::string why;
    const std::string events = read_back_events(run, why);
    if (why.empty()) {
        for (const char* id : {"Event ID: 1\r\n", "Event ID: 2\r\n", "Event ID: 4\r\n"}) {
            EXPECT_NE(events.find(id), std::string::npos) << id << events;
        }
    } else {
        std::printf("skipped reading the events back: this is %s\n", why.c_str());
    }

    // The first run's last line showed at most 2 seconds.
    ASSERT_TRUE(run.start("/nobeat /record"));
    ASSERT_TRUE(run.wait_for_status("running since  3 seconds", 15000)) << run.status();
    EXPECT_NE(
        read_file(run.path("output.txt"))
            .find("warning: worker PID " + std::to_string(left) +
                  " from an earlier run still runs; a second worker is started beside it\r\n"),
        std::string::npos)
        << read_file(run.path("output.txt"));
    CloseHandle(input);
}

} // namespace
