// The watchdog loop over the simulated platform: a minute-long cycle runs in microseconds.
#include "fake_platform.h"
#include "supervisor/watchdog.h"
#include "watch/status_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

class Watchdog : public ::testing::Test {
  protected:
    void start(bool healthy = true, Ticks clock = 0) {
        fake_reset(clock);
        history_ = History{};
        fake().worker_healthy = healthy;
        watchdog_start(state_, child_, history_);
    }
    // Runs passes until one returns false (ESC) or n have run; how many ran.
    int passes(int n) {
        for (int i = 0; i < n; ++i) {
            if (!watchdog_pass(state_)) {
                return i + 1;
            }
        }
        return n;
    }
    std::string status() const { return fake().status; }

    char worker_[8] = "kq2.exe";
    char option_[3] = "/z";
    ChildArgv child_{{worker_, option_, nullptr}};
    WatchdogState state_{};
    History history_{};
};

TEST_F(Watchdog, FirstStatusShowsOneSecondTheFirstLaunchAndItsId) {
    start();
    EXPECT_EQ(fake().launches, 1);
    EXPECT_EQ(fake().sleeps, 1);
    passes(1);
    EXPECT_EQ(status(), "running since  1 seconds, restarts 1 , PID 1000 \n");
}

TEST_F(Watchdog, ChecksFromSixtyOneSecondsOnAndConsumesTheHeartbeat) {
    start();
    passes(59); // the status of pass n shows the now of pass n-1: 60 s after the 59th
    EXPECT_EQ(fake().deletes, 0);
    passes(1);
    EXPECT_EQ(status(), "running since  60 seconds, restarts 1 , PID 1000 \n");
    EXPECT_EQ(fake().deletes, 0); // 60 whole seconds are not enough
    passes(1);
    EXPECT_EQ(fake().deletes, 1);
    EXPECT_EQ(fake().kills, 0);
    EXPECT_EQ(status(), "running since  0 seconds, restarts 1 , PID 1000 \n");

    // A healthy worker is never restarted, and is checked every 61 s from then on.
    passes(61 * 100 - 1);
    EXPECT_EQ(fake().deletes, 100);
    EXPECT_EQ(fake().launches, 1);
    EXPECT_EQ(state_.restarts, 1u);
}

TEST_F(Watchdog, HungWorkerIsKilledWhilePinnedAndRelaunched) {
    start(false);
    passes(61);
    EXPECT_EQ(fake().kills, 1);
    EXPECT_EQ(fake().last_killed_pid, 1000);
    EXPECT_EQ(fake().launches, 2);
    EXPECT_EQ(status(), "running since  0 seconds, restarts 2 , PID 1001 \n");
    EXPECT_EQ(fake().clock, 62 * 100u); // the old worker had ended: no wait, no warning
    EXPECT_EQ(fake().warnings, 0);

    passes(61 * 5);
    EXPECT_EQ(fake().kills, 6);
    EXPECT_EQ(state_.restarts, 7u);
    EXPECT_EQ(state_.pid, 1006);
    // Every kill named the one process still pinned, and exactly one pin is ever held.
    EXPECT_TRUE(fake().kill_while_pinned);
    EXPECT_EQ(fake().open_pins, 1);
}

TEST_F(Watchdog, KillThatLeavesTheWorkerRunningWarnsAndStillRelaunches) {
    start(false);
    fake().kill_works = false;
    passes(61);
    EXPECT_EQ(fake().clock, 62 * 100u + kill_wait_ms / 10u);
    EXPECT_EQ(
        std::string(fake().last_warning),
        "warning: the kill of worker PID 1000 failed; a second worker is started beside it\n");
    EXPECT_EQ(status(), "running since  0 seconds, restarts 2 , PID 1001 \n");
    EXPECT_EQ(fake().open_pins, 2); // the survivor stays pinned
}

TEST_F(Watchdog, SurvivorIsNamedOnceBetweenChecksTillItEndsThenTheNewWorkersHangIsSeen) {
    start(false);
    fake().kill_works = false;
    fake().survivors_beat = true; // 1000 hides the hang of 1001 while it runs
    passes(61 * 2);
    fake().kill_works = true;
    passes(61);
    EXPECT_EQ(fake().kills, 3);    // its kill, then once after each check
    EXPECT_EQ(fake().warnings, 2); // its failed retry not warned
    EXPECT_STREQ(fake().last_warning, "worker PID 1000, which survived its kill, has ended; the "
                                      "watch covers one worker again\n");
    EXPECT_EQ(status(), "running since  0 seconds, restarts 2 , PID 1001 \n");
    passes(61 * 2); // 1001's hang is seen within two checks: 1002's at the second
    EXPECT_EQ(state_.restarts, 4u);
    EXPECT_EQ(fake().open_pins, 1);
    EXPECT_TRUE(fake().kill_while_pinned);
}

TEST_F(Watchdog, TheOldestSurvivorStillRunningIsNamedAndTheEndedAreSaidInTheirOrder) {
    start(false);
    fake().kill_works = false;
    passes(61 * 3);                                  // 1000, 1001 and 1002 survive; 1003 runs
    fake().runs &= ~(std::uint64_t{3} << 1000 % 64); // 1000 and 1001 end on their own
    fake().keep_events = true;
    fake().last_killed_pid = 0;
    passes(1);
    EXPECT_EQ(fake().last_killed_pid, 1002);
    EXPECT_EQ(fake().event_log, "30 worker PID 1000, which survived its kill, has ended\n"
                                "30 worker PID 1001, which survived its kill, has ended\n");
    fake().kill_works = true;
    passes(61);
    EXPECT_STREQ(fake().last_warning, "worker PID 1002, which survived its kill, has ended; the "
                                      "watch covers one worker again\n");
    EXPECT_TRUE(fake().kill_while_pinned);
}

TEST_F(Watchdog, SurvivorsBeyondSixteenAreLetGoWithAWarning) {
    start(false);
    fake().kill_works = false;
    passes(61 * 17); // kills: 17 at the restarts, and 1000 after each check but the last
    EXPECT_EQ(fake().kills, 33);
    EXPECT_EQ(fake().open_pins, 17);
    EXPECT_TRUE(fake().kill_while_pinned);
    EXPECT_STREQ(fake().last_warning,
                 "warning: the kill of worker PID 1016 failed; 16 survivors "
                 "are kept already, so it is not named again: end it by hand\n");
}

TEST_F(Watchdog, EveryCommandHangingNoPassHoldsTheStatusFileOverFortySeconds) {
    start(false);
    fake().commands_hang = true;  // 1000 survives its kill and is named after each check
    fake().survivors_beat = true; // its heartbeats bring a del to each check after the first
    passes(63); // the check, then the survivor's pass: its 31 s count toward the next check
    EXPECT_EQ(status(), "running since  32 seconds, restarts 2 , PID 1001 \n");
    passes(61 * 3);
    EXPECT_LE(fake().longest_write_gap, 40 * 100u); // 36 s: the restart's kill, wait and sleep
}

TEST_F(Watchdog, HeartbeatFolderCountsIsNeverDeletedAndWarnsOnce) {
    start(false);
    fake().heartbeat = true;
    fake().heartbeat_is_folder = true;
    passes(61 * 3);
    EXPECT_EQ(fake().deletes, 0);
    EXPECT_EQ(fake().kills, 0);
    EXPECT_EQ(fake().warnings, 1);
    EXPECT_NE(std::string(fake().last_warning).find("check.txt is a folder"), std::string::npos);

    fake().heartbeat = false; // the folder is gone: watched again
    fake().heartbeat_is_folder = false;
    passes(61);
    EXPECT_EQ(fake().kills, 1);
    EXPECT_EQ(fake().warnings, 2);
}

TEST_F(Watchdog, UndeletableHeartbeatWarnsOnceAndNoticesWhenDeletedAgain) {
    start();
    fake().heartbeat_undeletable = true;
    passes(61 * 3);
    EXPECT_EQ(fake().deletes, 3);
    EXPECT_EQ(fake().warnings, 1);
    EXPECT_NE(std::string(fake().last_warning).find("could not be deleted"), std::string::npos);
    fake().heartbeat_undeletable = false;
    fake().delete_pending = true; // the look after the del fails: no evidence either way
    passes(61);
    EXPECT_EQ(fake().warnings, 1);
    fake().delete_pending = false;
    fake().look_error = 0;
    passes(61);
    EXPECT_EQ(fake().warnings, 2);
    EXPECT_NE(std::string(fake().last_warning).find("deleted again"), std::string::npos);
    EXPECT_EQ(fake().kills, 0);
}

TEST_F(Watchdog, LeftoverHeartbeatCountsAtTheFirstCheck) {
    fake_reset();
    fake().heartbeat = true;
    fake().worker_healthy = false;
    watchdog_start(state_, child_, history_);
    passes(61);
    EXPECT_EQ(fake().deletes, 1);
    EXPECT_EQ(fake().kills, 0);
    passes(61);
    EXPECT_EQ(fake().kills, 1);
}

TEST_F(Watchdog, FailedLaunchShowsMinusOneAndIsNeverKilled) {
    fake_reset();
    fake().launch_fails = true;
    fake().worker_healthy = false;
    watchdog_start(state_, child_, history_);
    passes(1);
    EXPECT_EQ(status(), "running since  1 seconds, restarts 1 , PID -1 \n");
    passes(60);
    EXPECT_EQ(fake().kills, 0);
    EXPECT_EQ(fake().launches, 2);
    EXPECT_EQ(state_.restarts, 2u);
    EXPECT_EQ(fake().open_pins, 0);

    fake().launch_fails = false;
    passes(61);
    EXPECT_EQ(status(), "running since  0 seconds, restarts 3 , PID 1000 \n");
}

TEST_F(Watchdog, SlowCommandsNeverShowAWrappedSecondsValue) {
    start(false);
    fake().command_cost = 250; // the kill command takes 2.5 s
    passes(61);
    EXPECT_EQ(status(), "running since  0 seconds, restarts 2 , PID 1001 \n");
    passes(1);
    EXPECT_EQ(status(), "running since  1 seconds, restarts 2 , PID 1001 \n");
    EXPECT_EQ(status_seconds(100, 50000), 0u);
    EXPECT_EQ(status_seconds(6100, 0), 61u);
}

TEST_F(Watchdog, ClockWrapNeitherHastensNorDelaysTheCheck) {
    start(false, 0xFFFFFFFFu - 3000u); // the tick count wraps 30 s after start
    passes(60);
    EXPECT_EQ(fake().kills, 0);
    EXPECT_EQ(status(), "running since  60 seconds, restarts 1 , PID 1000 \n");
    passes(1);
    EXPECT_EQ(fake().kills, 1);
}

TEST_F(Watchdog, EscEndsAtEitherPollAndOtherKeysAreDropped) {
    start();
    fake_press(0); // an arrow key: 0, then its scan code
    fake_press(72);
    fake_press('a');
    EXPECT_EQ(passes(2), 2);
    EXPECT_EQ(fake().key_count, 0u);

    fake_press('b');
    fake_press(27); // read by the second poll, after the status write
    const int writes = fake().status_writes;
    EXPECT_EQ(passes(5), 1);
    EXPECT_EQ(fake().status_writes, writes + 1);

    fake_press(27);
    EXPECT_EQ(passes(5), 1);
    EXPECT_EQ(fake().status_writes, writes + 1); // the first poll ends before any work
    EXPECT_EQ(fake().kills, 0);                  // the worker is left running
}

TEST_F(Watchdog, UnwritableStatusFileWarnsOnceAndGoesOn) {
    start();
    fake().status_writable = false;
    passes(200);
    EXPECT_EQ(fake().warnings, 1);
    EXPECT_EQ(fake().deletes, 3); // the loop went on checking
    fake().status_writable = true;
    passes(3);
    EXPECT_EQ(fake().warnings, 2);
    EXPECT_EQ(std::string(fake().last_warning), "log_kq.txt is written again\n");
    fake().status_writable = false;
    passes(3);
    EXPECT_EQ(fake().warnings, 3);
}

TEST_F(Watchdog, SuspendedSleepIsLeftOutOfTheMinuteButAShortStallIsNot) {
    // A leftover heartbeat is consumed at pass 61; the hung worker is killed one check later.
    const struct {
        int at_sleep, kill_pass; // sleep 1 is the start's, sleep n+1 that of pass n
        Ticks asleep;
    } cases[] = {{0, 122, 0}, {11, 122, 360000}, {62, 122, 360000}, {11, 102, 2000}};
    for (const auto& c : cases) {
        start(false);
        fake().heartbeat = true;
        fake().asleep_at = c.at_sleep;
        fake().asleep_for = c.asleep;
        passes(c.kill_pass - 1);
        EXPECT_EQ(fake().kills, 0) << c.at_sleep << " " << c.asleep;
        passes(1);
        EXPECT_EQ(fake().kills, 1) << c.at_sleep << " " << c.asleep;
    }
}

TEST_F(Watchdog, HeartbeatThatCannotBeLookedAtIsLookedAtAgainWithoutKillOrDelete) {
    start(false);
    fake().look_error = 53; // a network folder that blinks
    passes(61 + 10);
    EXPECT_EQ(std::string(fake().last_warning), "warning: check.txt cannot be looked at (error "
                                                "53); the worker is not being watched\n");
    EXPECT_EQ(fake().kills + fake().deletes, 0);
    fake().look_error = 0;
    passes(1);
    EXPECT_EQ(std::string(fake().last_warning),
              "check.txt can be looked at again; the worker is watched again\n");
}

TEST_F(Watchdog, StoppedDelWarnsAtEachCheckAndTheSupervisorDeletesWhatItLeft) {
    start();
    fake().commands_hang = true;
    passes(61 * 2);
    EXPECT_EQ(fake().warnings, 2); // none for a heartbeat left in place: the supervisor deleted it
    EXPECT_EQ(std::string(fake().last_warning), "warning: \"del check.txt > nul\" did not end "
                                                "within 30 s and was stopped; the watch goes on\n");
    fake().commands_hang = false;
    fake().delete_pending = true; // the look after it fails: no warning either way
    passes(61);
    EXPECT_EQ(fake().warnings, 2);
}

TEST(StatusLine, NumbersOfAnySizeAreWrittenInFull) {
    char text[status_text_size];
    format_status_line(text, UINT_MAX, 0, INT_MIN);
    EXPECT_STREQ(text, "running since  4294967295 seconds, restarts 0 , PID -2147483648 \n");
    format_kill_command(text, INT_MAX);
    EXPECT_STREQ(text, "fkill 2147483647 > nul");
    format_kill_command(text, 0);
    EXPECT_STREQ(text, "fkill 0 > nul");
}

TEST_F(Watchdog, FailedLaunchIsSaidOnceWithItsReasonAndItsEndWithTheNewId) {
    fake_reset();
    fake().worker_healthy = false;
    fake().launch_fails = true;
    fake().launch_error = 2;
    fake().error_text = "The system cannot find the file specified.\r\n";
    watchdog_start(state_, child_, history_);
    EXPECT_STREQ(fake().last_warning,
                 "warning: cannot start kq2.exe (error 2: The system cannot "
                 "find the file specified.); it is tried again at each check\n");
    passes(61 * 3); // three more failed launches, no more warnings
    fake().launch_fails = false;
    passes(61);
    EXPECT_EQ(fake().launches, 5);
    EXPECT_EQ(fake().warnings, 2);
    EXPECT_STREQ(fake().last_warning, "kq2.exe started again as PID 1000\n");

    // Without the system's text the code stands alone.
    char alone[launch_warning_size];
    format_launch_failed_warning(alone, 5, " \r\n");
    EXPECT_STREQ(alone,
                 "warning: cannot start kq2.exe (error 5); it is tried again at each check\n");
}

} // namespace
