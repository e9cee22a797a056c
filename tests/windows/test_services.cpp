// Files, messages and the exit on the real Win32 API.
#include "platform/platform.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

namespace {

class Services : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fresh_work_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
    }
    void TearDown() override { SetCurrentDirectoryA(exe_dir().c_str()); }
    std::string dir_;
};

TEST_F(Services, FileExistsForAnythingOfThatName) {
    EXPECT_EQ(file_exists("check.txt"), -1);
    EXPECT_EQ(file_exists("missing\\check.txt"), -1);

    ASSERT_TRUE(CreateDirectoryA("check.txt", nullptr));
    EXPECT_EQ(file_exists("check.txt"), 0);

    write_file("hidden.txt", "h");
    SetFileAttributesA("hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(file_exists("hidden.txt"), 0);

    write_file("readonly.txt", "r");
    SetFileAttributesA("readonly.txt", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(file_exists("readonly.txt"), 0);
    EXPECT_FALSE(delete_file("readonly.txt")); // the heartbeat warning stays for this
}

TEST_F(Services, WriteTextFileStoresExactlyTheTextInTextMode) {
    ASSERT_TRUE(write_text_file("new.txt", "a\nb\n")); // created when missing
    EXPECT_EQ(read_file("new.txt"), "a\r\nb\r\n");

    write_file("old.txt", std::string(10000, 'o'));
    ASSERT_TRUE(write_text_file("old.txt", "x\r\n")); // a longer file is emptied first
    EXPECT_EQ(read_file("old.txt"), "x\r\r\n");

    std::string big(5000, 'q');
    big += '\n';
    ASSERT_TRUE(write_text_file("big.txt", (big + big).c_str()));
    std::string stored(5000, 'q');
    stored += "\r\n";
    EXPECT_EQ(read_file("big.txt"), stored + stored);
}

TEST_F(Services, WriteTextFileFailsCleanlyWhenTheFileIsHeldOrUnreachable) {
    write_file("held.txt", "keep");
    HANDLE held = CreateFileA("held.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    const unsigned long handles = count_process_handles(GetCurrentProcessId());
    ASSERT_GT(handles, 0u);
    int written = 0;
    for (int i = 0; i < 50; ++i) {
        written += write_text_file("held.txt", "new\n");
        written += write_text_file("no such dir\\log.txt", "new\n");
    }
    EXPECT_EQ(written, 0);
    EXPECT_EQ(count_process_handles(GetCurrentProcessId()), handles);
    CloseHandle(held);
    EXPECT_EQ(read_file("held.txt"), "keep");
}

TEST_F(Services, WriteTextFileLeavesAReadOnlyFileAlone) {
    write_file("readonly.txt", "keep");
    SetFileAttributesA("readonly.txt", FILE_ATTRIBUTE_READONLY);
    HANDLE probe = CreateFileA("readonly.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        GTEST_SKIP() << "this system lets us write read-only files (Wine run as root)";
    }
    const unsigned long handles = count_process_handles(GetCurrentProcessId());
    EXPECT_FALSE(write_text_file("readonly.txt", "new\n"));
    EXPECT_EQ(count_process_handles(GetCurrentProcessId()), handles);
    EXPECT_EQ(read_file("readonly.txt"), "keep");
    EXPECT_TRUE(GetFileAttributesA("readonly.txt") & FILE_ATTRIBUTE_READONLY);
}

TEST_F(Services, WriteTextFileLeavesNoHandleBehind) {
    ASSERT_TRUE(write_text_file("log.txt", "warm up\n"));
    const unsigned long handles = count_process_handles(GetCurrentProcessId());
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(write_text_file("log.txt", "running\n"));
    }
    EXPECT_EQ(count_process_handles(GetCurrentProcessId()), handles);
}

TEST_F(Services, RedirectedMessagesArriveWholeWithTheExitStatus) {
    const std::string out = dir_ + "\\out.txt";
    const std::string probe = probe_path("message_probe.exe");
    Started plain = start_process(quoted(probe) + " 7", nullptr, out.c_str());
    EXPECT_EQ(finish_process(plain, 20000), 7u);
    EXPECT_EQ(read_file(out), "too much arguments \r\nmalloc in stub program failed \r\n");

    Started longer = start_process(quoted(probe) + " 0 long", nullptr, out.c_str());
    EXPECT_EQ(finish_process(longer, 20000), 0u);
    std::string expected(9000, 'm');
    expected += "\r\ntoo much arguments \r\nmalloc in stub program failed \r\n";
    EXPECT_EQ(read_file(out), expected);
}

TEST(Clock, CountsHundredthsAndSleepsWholeSeconds) {
    const Ticks before = ticks_now();
    const DWORD started = GetTickCount();
    sleep_seconds(1);
    const Ticks elapsed = ticks_now() - before;
    EXPECT_GE(GetTickCount() - started, 950u); // Wine's tick count is coarse
    EXPECT_GE(elapsed, 95u);
    EXPECT_LE(elapsed, 150u);
}

} // namespace
