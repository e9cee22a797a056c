// The supervisor keeping the demo worker alive, with real processes, cmd.exe, fkill and time.
// Each test takes a minute or more: ctest runs them side by side.
#include "end_to_end.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

const char* test_name() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// A check comes 61 s after the start; allow for a slow start and slow commands.
constexpr DWORD first_check_ms = 61000 + 15000;

// In a folder that Everyone may write: said once, and the watch goes on as before.
TEST(EndToEnd, WorkerThatNeverBeatsIsKilledWithItsOwnIdAndRelaunchedAlike) {
    SupervisorRun run(test_name());
    ASSERT_TRUE(unix_chmod(run.dir, "o+w"));
    ASSERT_TRUE(run.start("/nobeat /record"));
    ASSERT_TRUE(run.wait_for_status("restarts 1 ,", 10000)) << run.status();
    const DWORD first = run.status_pid();
    ASSERT_NE(first, 0u);
    HANDLE watched = OpenProcess(SYNCHRONIZE, FALSE, first);
    ASSERT_NE(watched, nullptr);

    ASSERT_TRUE(run.wait_for_status("restarts 2 ,", first_check_ms)) << run.status();
    EXPECT_EQ(WaitForSingleObject(watched, 5000), WAIT_OBJECT_0) << "the first worker still runs";
    CloseHandle(watched);

    const std::vector<WorkerStart> starts = run.worker_starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].pid, first);
    EXPECT_EQ(starts[0].command_line, "kq2.exe /z /nobeat /record");
    EXPECT_EQ(starts[1].command_line, starts[0].command_line);
    EXPECT_NE(starts[1].pid, first);
    EXPECT_EQ(run.status_pid(), starts[1].pid);
    EXPECT_TRUE(process_alive(starts[1].pid));
    const std::string output = read_file(run.path("output.txt"));
    const std::size_t at = output.find("warning: others may change what runs from this folder: "
                                       "Everyone may create files there, delete or replace its "
                                       "files\r\n");
    EXPECT_NE(at, std::string::npos) << output;
    EXPECT_EQ(output.find("warning", at + 1), std::string::npos) << output;
}

TEST(EndToEnd, BeatingWorkerIsNeverKilledAndItsHeartbeatIsConsumed) {
    SupervisorRun run(test_name());
    // Beats at 0, 25, 50 and 75 s: present at the check at 61 s, absent for a while after it.
    ASSERT_TRUE(run.start("/beat:25 /record"));
    ASSERT_TRUE(run.wait_for_status("running since  55 seconds", first_check_ms)) << run.status();
    ASSERT_TRUE(run.wait_for_status("running since  1 seconds", 20000)) << run.status();
    EXPECT_EQ(file_exists(run.path("check.txt").c_str()), -1);
    EXPECT_NE(run.status().find("restarts 1 ,"), std::string::npos) << run.status();
    ASSERT_EQ(run.worker_starts().size(), 1u);
    EXPECT_TRUE(process_alive(run.worker_starts()[0].pid));
}

TEST(EndToEnd, FirstStatusLineAndALeftoverHeartbeat) {
    SupervisorRun run(test_name());
    write_file(run.path("check.txt"), "");
    // Hidden and system: Windows' del skips such a file, so the supervisor deletes it itself.
    SetFileAttributesA(run.path("check.txt").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(run.start("/nobeat /record"));
    ASSERT_TRUE(run.wait_for_status("running since  ", 10000)) << run.status();
    const std::string first = run.status();
    ASSERT_EQ(run.worker_starts().size(), 1u);
    const DWORD worker = run.worker_starts()[0].pid;
    // One second, or two when the launch itself was slow; or none where Wine's tick count, which
    // its server updates in memory the programs share, lags behind a loaded machine's sleep.
    const std::string rest = " seconds, restarts 1 , PID " + std::to_string(worker) + " \r\n";
    EXPECT_TRUE(first == "running since  0" + rest || first == "running since  1" + rest ||
                first == "running since  2" + rest)
        << first;

    // The leftover file counts as a heartbeat at the first check: consumed, no kill.
    ASSERT_TRUE(run.wait_for_status("running since  55 seconds", first_check_ms)) << run.status();
    ASSERT_TRUE(run.wait_for_status("running since  1 seconds", 20000)) << run.status();
    EXPECT_EQ(file_exists(run.path("check.txt").c_str()), -1);
    EXPECT_NE(run.status().find("restarts 1 ,"), std::string::npos) << run.status();
    EXPECT_TRUE(process_alive(worker));
    // Nor, in a folder closed to others, who else may change what runs.
    EXPECT_EQ(read_file(run.path("output.txt")).find("warning"), std::string::npos);
}

TEST(EndToEnd, HeartbeatFolderNeitherStopsTheLoopNorLosesItsFiles) {
    SupervisorRun run(test_name());
    const std::string folder = run.path("check.txt");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    write_file(folder + "\\kept.txt", "kept");
    ASSERT_TRUE(run.start("/nobeat /record"));
    // Past the first check the line is still rewritten every second, from 0 or 1 on.
    ASSERT_TRUE(run.wait_for_status("running since  55 seconds", first_check_ms)) << run.status();
    ASSERT_TRUE(run.wait_for_status("running since  1 seconds", 20000)) << run.status();
    ASSERT_TRUE(run.wait_for_status("running since  3 seconds", 5000)) << run.status();
    EXPECT_NE(run.status().find("restarts 1 ,"), std::string::npos) << run.status();
    EXPECT_EQ(read_file(folder + "\\kept.txt"), "kept");
    ASSERT_EQ(run.worker_starts().size(), 1u);
    EXPECT_TRUE(process_alive(run.worker_starts()[0].pid));
    // One warning line; the worker's own lines are in the output too.
    const std::string output = read_file(run.path("output.txt"));
    const std::size_t at = output.find("warning: check.txt is a folder, which is never deleted, so "
                                       "the worker is not being watched\r\n");
    EXPECT_NE(at, std::string::npos) << output;
    EXPECT_EQ(output.find("warning", at + 1), std::string::npos) << output;
}

TEST(EndToEnd, FailedLaunchShowsMinusOneAndRunsNoKill) {
    SupervisorRun run(test_name(), false);
    // Stands in for fkill, so that a kill command would leave a trace.
    DeleteFileA(run.path("fkill.exe").c_str());
    write_file(run.path("fkill.bat"), "@echo %1 > killed.txt\r\n");
    ASSERT_TRUE(run.start("/record"));
    ASSERT_TRUE(run.wait_for_status(" seconds, restarts 1 , PID -1 \r\n", 10000)) << run.status();
    ASSERT_TRUE(run.wait_for_status("restarts 2 , PID -1 \r\n", first_check_ms)) << run.status();
    EXPECT_EQ(file_exists(run.path("killed.txt").c_str()), -1);
}

TEST(EndToEnd, StatusFileHeldWithoutSharingWarnsOnceAndTheLoopGoesOn) {
    SupervisorRun run(test_name());
    ASSERT_TRUE(run.start("/beat:2 /record"));
    ASSERT_TRUE(run.wait_for_status("running since  1 seconds", 10000)) << run.status();
    HANDLE held = CreateFileA(run.path("log_kq.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Sleep(4500);
    CloseHandle(held);
    ASSERT_TRUE(run.wait_for_status("running since  7 seconds", 10000)) << run.status();

    const std::string output = read_file(run.path("output.txt"));
    const std::string warning = "warning: cannot write log_kq.txt; the watchdog goes on\r\n";
    const std::size_t at = output.find(warning);
    ASSERT_NE(at, std::string::npos) << output;
    EXPECT_EQ(output.find(warning, at + 1), std::string::npos) << "warned more than once";
    EXPECT_NE(output.find("log_kq.txt is written again\r\n"), std::string::npos) << output;
}

TEST(EndToEnd, InterpreterThatNeverEndsIsStoppedAndTheWatchGoesOn) {
    SupervisorRun run(test_name());
    // The demo worker never ends by itself: as the interpreter, it plays one that hangs.
    SetEnvironmentVariableA("ComSpec", run.path("kq2.exe").c_str());
    ASSERT_TRUE(run.start("/beat:2"));
    SetEnvironmentVariableA("ComSpec", nullptr); // CMD.EXE, as before, for the tests after
    // The del at 61 s is stopped 30 s later; the supervisor then deletes the heartbeat itself.
    ASSERT_TRUE(run.wait_for_status("running since  55 seconds", first_check_ms)) << run.status();
    ASSERT_TRUE(run.wait_for_status("running since  2 seconds, restarts 1 ", 45000))
        << run.status();
    const std::string output = read_file(run.path("output.txt"));
    EXPECT_NE(output.find("\"del check.txt > nul\" did not end within 30 s"), std::string::npos);
}

TEST(EndToEnd, EighteenArgumentsAreRefusedBeforeAnyLaunch) {
    SupervisorRun run(test_name());
    ASSERT_TRUE(run.start("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 /record"));
    EXPECT_EQ(finish_process(run.supervisor, 20000), 1u);
    EXPECT_EQ(read_file(run.path("output.txt")), "too much arguments \r\n");
    EXPECT_EQ(file_exists(run.path("kq2_starts.txt").c_str()), -1);
    EXPECT_EQ(file_exists(run.path("log_kq.txt").c_str()), -1);
}

TEST(EndToEnd, MissingWorkerIsSaidOnceAndSoIsItsArrival) {
    SupervisorRun run(test_name(), false);
    ASSERT_TRUE(run.start("/record"));
    ASSERT_TRUE(run.wait_for_status(" seconds, restarts 1 , PID -1 \r\n", 10000)) << run.status();
    copy_product("kq2.exe", run.dir);
    ASSERT_TRUE(run.wait_for_status("restarts 2 , PID ", first_check_ms)) << run.status();

    // The system's wording is not compared: the warning, once, and then the notice.
    const std::string output = read_file(run.path("output.txt"));
    const std::size_t at = output.find("warning: cannot start kq2.exe (error 2");
    const std::size_t end = output.find("); it is tried again at each check\r\n", at);
    EXPECT_TRUE(at != std::string::npos && end != std::string::npos) << output;
    EXPECT_EQ(output.find("warning", at + 1), std::string::npos) << output;
    EXPECT_NE(output.find("kq2.exe started again as PID " + std::to_string(run.status_pid())),
              std::string::npos);
}

} // namespace
