// One supervisor per folder, and the folder warnings that real processes show.
#include "end_to_end.h"
#include "platform/platform.h"
#include "platform/win32/folder_path.h"
#include "watch/folder_lock.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char refusal[] = "another supervisor already watches this folder \r\n";

// The folder as another spelling names it: other case, a trailing backslash.
std::string other_spelling(std::string dir) {
    std::transform(dir.begin(), dir.end(), dir.begin(), [](char c) {
        return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32
                                                      : (c >= 'A' && c <= 'Z' ? c + 32 : c));
    });
    return dir + "\\";
}

// Runs the supervisor of run in cwd to its end; its exit status, its output in output.
DWORD run_to_end(const SupervisorRun& run, const std::string& cwd, const std::string& output) {
    Started second =
        start_process(run.path("supervisor.exe") + " /record", cwd.c_str(), output.c_str());
    return finish_process(second, 20000);
}

TEST(OnePerFolder, HeldFolderIsRefusedBeforeAnyFileOrLaunch) {
    // The name a reader of the folder computes, held here in place of a running supervisor.
    SupervisorRun run("held_folder");
    char normalised[MAX_PATH * 2];
    ASSERT_TRUE(normalised_folder_path(run.dir.c_str(), normalised, sizeof normalised));
    char name[folder_lock_name_size];
    folder_lock_name(normalised, true, name);
    HANDLE held = CreateMutexA(nullptr, FALSE, name);
    ASSERT_NE(held, nullptr);

    const std::string output = fresh_work_dir("held_folder_output") + "\\output.txt";
    EXPECT_EQ(run_to_end(run, other_spelling(run.dir), output), 1u);
    EXPECT_EQ(read_file(output), refusal);
    EXPECT_EQ(file_exists(run.path("log_kq.txt").c_str()), -1);
    EXPECT_EQ(file_exists(run.path("kq2_starts.txt").c_str()), -1);
    CloseHandle(held);
}

TEST(OnePerFolder, SecondSupervisorIsRefusedWhileTheFirstAndOneElsewhereGoOn) {
    SupervisorRun first("first_in_folder");
    SupervisorRun elsewhere("other_folder");
    ASSERT_TRUE(first.start("/record"));
    ASSERT_TRUE(first.wait_for_status("running since  1 seconds", 10000)) << first.status();

    const std::string output = fresh_work_dir("second_in_folder") + "\\output.txt";
    EXPECT_EQ(run_to_end(first, other_spelling(first.dir), output), 1u);
    EXPECT_EQ(read_file(output), refusal);
    ASSERT_TRUE(elsewhere.start("/record"));
    EXPECT_TRUE(elsewhere.wait_for_status("running since  1 seconds", 10000)) << elsewhere.status();

    // The first still rewrites its status, with its one worker.
    ASSERT_TRUE(first.wait_for_status("running since  5 seconds", 10000)) << first.status();
    EXPECT_EQ(first.worker_starts().size(), 1u);
    EXPECT_EQ(WaitForSingleObject(first.supervisor.process, 0), WAIT_TIMEOUT);
}

TEST(OnePerFolder, Kq2BesideTheSupervisorInAnotherFolderIsNamed) {
    SupervisorRun tools("supervisor_folder");
    SupervisorRun work("current_folder", false);
    const std::string output = work.path("output.txt");
    work.supervisor =
        start_process(tools.path("supervisor.exe") + " /record", work.dir.c_str(), output.c_str());
    ASSERT_TRUE(work.wait_for_status("running since  1 seconds", 10000)) << work.status();
    EXPECT_NE(read_file(output).find("warning: kq2.exe is started from " + tools.dir +
                                     ", the supervisor's folder, not from the current folder " +
                                     work.dir + "\r\n"),
              std::string::npos)
        << read_file(output);
    EXPECT_EQ(work.worker_starts().size(), 1u) << "the supervisor's own kq2.exe ran";
}

} // namespace
