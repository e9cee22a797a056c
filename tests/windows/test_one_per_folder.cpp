// One supervisor per folder, and the same program in another folder.
#include "end_to_end.h"
#include "platform/platform.h"
#include "platform/win32/folder_path.h"
#include "watch/folder_lock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

const char refusal[] = "another supervisor already watches this folder \r\n";
// Any first status line: a slow first launch shows 2 seconds or more, not 1.
const char running[] = " seconds, restarts 1 , PID ";

// Runs the supervisor of run in its folder spelled otherwise (upper case, a trailing backslash)
// to its end: its exit status.
Finished run_second(const SupervisorRun& run, const std::string& output) {
    std::string dir = run.dir + "\\";
    std::transform(dir.begin(), dir.end(), dir.begin(), [](char c) { return std::toupper(c); });
    Started second =
        start_process(quoted(run.path("supervisor.exe")) + " /record", dir.c_str(), output.c_str());
    return finish_process(second, 20000);
}

// The count of refused starts that the folder's supervisor shares, in either namespace; -1: none.
long refusals_counted(const char* normalised) {
    for (bool global : {true, false}) {
        char lock[folder_lock_name_size];
        char name[refusal_count_name_size];
        folder_lock_name(normalised, global, lock); // an ASCII path: the wide name too
        refusal_count_name(lock, name);
        HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
        if (section != nullptr) { // the view is left to the test's end
            return *static_cast<const volatile long*>(
                MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0));
        }
    }
    return -1;
}

TEST(OnePerFolder, SecondSupervisorIsRefusedAndTouchesNothingWhileTheFirstGoesOn) {
    SupervisorRun first("first_in_folder");
    SupervisorRun elsewhere("other_folder", false);
    const std::string output = fresh_work_dir("second_in_folder") + "\\output.txt";
    // The name a reader of the folder computes, held here in place of a running supervisor.
    char normalised[MAX_PATH * 2];
    char name[folder_lock_name_size];
    ASSERT_TRUE(normalised_folder_path(first.dir.c_str(), normalised, sizeof normalised));
    folder_lock_name(normalised, true, name);
    HANDLE held = CreateMutexA(nullptr, FALSE, name);
    EXPECT_EQ(run_second(first, output), 1u);
    EXPECT_EQ(read_file(output), refusal);
    EXPECT_EQ(file_exists(first.path("log_kq.txt").c_str()), -1);
    EXPECT_EQ(file_exists(first.path("kq2_starts.txt").c_str()), -1);
    CloseHandle(held);

    ASSERT_TRUE(first.start("/record"));
    ASSERT_TRUE(first.wait_for_status(running, 10000)) << first.status();
    EXPECT_EQ(run_second(first, output), 1u);
    EXPECT_EQ(refusals_counted(normalised), 1);
    // The same program in another folder runs, and names the kq2.exe beside it.
    elsewhere.supervisor =
        start_process(quoted(first.path("supervisor.exe")) + " /record", elsewhere.dir.c_str(),
                      elsewhere.path("output.txt").c_str());
    elsewhere.worker_image = first.worker_image;
    ASSERT_TRUE(elsewhere.wait_for_status(running, 10000)) << elsewhere.status();
    EXPECT_NE(read_file(elsewhere.path("output.txt"))
                  .find("warning: kq2.exe is started from " + first.dir +
                        ", the supervisor's folder, not from the current folder " + elsewhere.dir +
                        "\r\n"),
              std::string::npos);
    EXPECT_EQ(elsewhere.worker_starts().size(), 1u) << "the supervisor's own kq2.exe ran";
    // The first still rewrites its status, with its one worker.
    ASSERT_TRUE(first.wait_for_status("running since  12 seconds", 20000)) << first.status();
    EXPECT_EQ(first.worker_starts().size(), 1u);
}

// "Another account", LOCAL SERVICE, made the folder's objects first: its count silences no
// refusal (none is added to it, so each writes its event), and its lock is named in the refusal.
TEST(OnePerFolder, AnotherAccountsObjectsNeitherSilenceRefusalsNorPassForASupervisor) {
    SupervisorRun run("foreign_count");
    char normalised[MAX_PATH * 2];
    char lock[folder_lock_name_size];
    char name[refusal_count_name_size];
    ASSERT_TRUE(normalised_folder_path(run.dir.c_str(), normalised, sizeof normalised));
    folder_lock_name(normalised, true, lock);
    refusal_count_name(lock, name);
    HANDLE planted = make_foreign_object(name, true);
    ASSERT_NE(planted, nullptr);
    auto* count = static_cast<volatile long*>(MapViewOfFile(planted, FILE_MAP_WRITE, 0, 0, 0));
    *count = 1000;
    ASSERT_TRUE(run.start("/record"));
    ASSERT_TRUE(run.wait_for_status(running, 10000)) << run.status();
    const std::string refused = fresh_work_dir("foreign_count_refused") + "\\output.txt";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(run_second(run, refused), 1u);
        EXPECT_EQ(read_file(refused), refusal);
    }
    EXPECT_EQ(*count, 1000);
    const std::string said = read_file(run.path("output.txt"));
    const char warning[] = "warning: another program made this folder's refusal count, so refused "
                           "starts here are not limited\r\n";
    const std::size_t at = said.find(warning);
    EXPECT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find(warning, at + 1), std::string::npos) << said;
    UnmapViewOfFile(const_cast<long*>(count));
    CloseHandle(planted);

    SupervisorRun locked("foreign_lock");
    ASSERT_TRUE(normalised_folder_path(locked.dir.c_str(), normalised, sizeof normalised));
    folder_lock_name(normalised, true, lock);
    HANDLE held = make_foreign_object(lock, false);
    ASSERT_NE(held, nullptr);
    const std::string output = locked.path("refused.txt");
    EXPECT_EQ(run_second(locked, output), 1u);
    // Wine names the account, or a system without the name gives its SID.
    const std::string text = read_file(output);
    EXPECT_TRUE(text ==
                    "another account, NT AUTHORITY\\LOCAL SERVICE, holds this folder's lock \r\n" ||
                text == "another account, S-1-5-19, holds this folder's lock \r\n")
        << text;
    CloseHandle(held);
}

} // namespace
