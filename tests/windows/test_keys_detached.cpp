// Key input with no console: the poll must answer at once, so that the watchdog runs on.
#include "platform/platform.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

namespace {

// Test programs run with no terminal, which under Wine means no console; started from one, the
// program leaves it, to see what a detached supervisor sees.
TEST(KeysDetached, PollAnswersFalseAtOnceAndReadFails) {
    FreeConsole();
    ASSERT_EQ(CreateFileA("conin$", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    const DWORD start = GetTickCount();
    int seen = 0;
    for (int i = 0; i < 1000; ++i) {
        seen += key_available() ? 1 : 0;
    }
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(read_key(), -1);
}

TEST(KeysDetached, DetachedProcessPollsWithoutBlockingOrPrinting) {
    const std::string dir = fresh_work_dir("keys_detached");
    const std::string output = dir + "\\output.txt";
    Started probe = start_process("\"" + probe_path("detached_keys.exe") + "\"", dir.c_str(),
                                  output.c_str(), DETACHED_PROCESS);
    ASSERT_NE(probe.process, nullptr);
    const DWORD faults = finish_process(probe, 10000);
    ASSERT_NE(faults, static_cast<DWORD>(STILL_ACTIVE)) << "the poll blocked";
    EXPECT_EQ(faults, 0u) << "as listed in the probe";
    EXPECT_EQ(read_file(output), "");
}

} // namespace
