// The watch's events: their sentences, their wiring into the loop, the hourly limit and the log's
// refusals, over the simulated platform.
#include "fake_platform.h"
#include "supervisor/event_sentences.h"
#include "supervisor/history.h"
#include "supervisor/watchdog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EventSentences, SayWhatHappenedFromTheFacts) {
    char text[event_text_size];
    format_start_event(text, "1.2.0", 2, 1234);
    EXPECT_STREQ(text, "supervisor 1.2.0 started; kq2.exe with 2 arguments after /z is PID 1234");
    format_start_event(text, "1.2.0", 1, -1);
    EXPECT_STREQ(text, "supervisor 1.2.0 started; kq2.exe with 1 argument after /z is PID -1");

    const struct {
        RestartFacts facts;
        bool ended;
        const char* sentence;
    } cases[] = {
        {{1234, false, 0, 61, true, 1240, 2},
         false,
         "worker PID 1234 wrote no check.txt in 61 s; it was ended and kq2.exe started again as "
         "PID 1240 (restarts 2)"},
        {{1234, false, 0, 61, false, 1240, 2},
         false,
         "worker PID 1234 wrote no check.txt in 61 s; it could not be ended, and kq2.exe started "
         "again beside it as PID 1240 (restarts 2)"},
        {{1234, false, 0, 61, true, -1, 2},
         false,
         "worker PID 1234 wrote no check.txt in 61 s; it was ended; kq2.exe could not be started "
         "again (restarts 2)"},
        {{1234, true, 0, 61, true, 1240, 3},
         true,
         "worker PID 1234 had ended with exit code 0 (0x00000000); kq2.exe started again as PID "
         "1240 (restarts 3)"},
        {{1234, true, 259, 61, true, 1240, 2},
         true,
         "worker PID 1234 had ended with exit code 259 (0x00000103); kq2.exe started again as PID "
         "1240 (restarts 2)"},
        {{1234, true, 0xC0000005u, 61, true, -1, 2},
         true,
         "worker PID 1234 had ended with exit code 3221225477 (0xC0000005); kq2.exe could not be "
         "started again (restarts 2)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_restart_event(text, c.facts), c.ended);
        EXPECT_STREQ(text, c.sentence);
    }
}

struct Watch {
    char worker[8] = "kq2.exe";
    char option[3] = "/z";
    char argument[8] = "/beat:5";
    ChildArgv child{{worker, option, argument, nullptr}};
    WatchdogState state{};
    History history{};
    void start() { watchdog_start(state, child, history); }
    void passes(int n) {
        for (int i = 0; i < n; ++i) {
            watchdog_pass(state);
        }
    }
};

TEST(History, StartRestartsAndEscAreEventsWithTheirCauses) {
    fake_reset();
    fake().worker_healthy = false;
    Watch run;
    run.start();
    EXPECT_EQ(fake().last_id, 1u);
    EXPECT_STREQ(fake().last_event, "supervisor " KQ2_VERSION " started; kq2.exe with 1 "
                                    "argument after /z is PID 1000");
    fake().kill_works = false;
    run.passes(61);
    // The restart first, then the warning of the failed kill, as on standard error.
    EXPECT_EQ(fake().events_of[2], 1);
    EXPECT_EQ(fake().last_id, 16u);
    EXPECT_STREQ(fake().last_event,
                 "the kill of worker PID 1000 failed; a second worker is started beside it");

    fake().kill_works = true;
    fake().worker_crashes = true; // 1002 on: STILL_ACTIVE is an exit code like any other
    fake().exit_code = 259;
    run.passes(61 * 2);
    EXPECT_EQ(fake().last_id, 3u);
    EXPECT_STREQ(fake().last_event, "worker PID 1002 had ended with exit code 259 (0x00000103); "
                                    "kq2.exe started again as PID 1003 (restarts 4)");
    EXPECT_EQ(fake().kills, 4); // fkill runs in both cases, and names the survivor 1000 again

    watchdog_end(run.state);
    EXPECT_EQ(fake().last_type, EventType::Information);
    EXPECT_STREQ(fake().last_event, "ended by ESC; no worker was running");
}

TEST(History, ADayOfCrashesWritesTenAnHourAndSumsUpTheRest) {
    fake_reset();
    fake().worker_healthy = false;
    fake().worker_crashes = true;
    fake().exit_code = 3;
    Watch run;
    run.start();
    run.passes(24 * 3600);
    const int restarts = static_cast<int>(run.state.restarts) - 1;
    EXPECT_GT(restarts, 1400);
    // 10 written in each hour's window; the summaries count the rest, each giving the last one.
    EXPECT_EQ(fake().events_of[3], 10 * 24);
    EXPECT_GE(fake().events_of[7], 23);
    EXPECT_EQ(fake().events_of[7] + fake().events_of[3] + 1, fake().events);
    fake().worker_healthy = true; // the summary of the last hour comes once it has ended
    fake().worker_crashes = false;
    run.passes(3600);
    EXPECT_EQ(fake().last_id, 7u);
    EXPECT_EQ(fake().last_type, EventType::Warning);
    const std::string summary = fake().last_event;
    EXPECT_EQ(summary.find(" more events like this one were left out in the last hour: worker "
                           "PID "),
              2u)
        << summary;
    EXPECT_NE(summary.find("had ended with exit code 3 (0x00000003)"), std::string::npos);
}

TEST(History, EscSumsUpWhatIsHeldBackBeforeItsOwnEvent) {
    fake_reset();
    fake().worker_healthy = false;
    fake().worker_crashes = fake().count_shared = fake().keep_events = true;
    Watch run;
    history_share_refusals(run.history);
    run.start();
    run.passes(40 * 60);
    fake().refusal_count = 2147483637; // no more is believed than one refused start a second
    watchdog_end(run.state);
    EXPECT_EQ(fake().events_of[3], 10);
    EXPECT_EQ(fake().last_id, 4u);
    for (const std::string& left_out :
         {std::to_string(run.state.restarts - 11), std::string("3590")}) {
        EXPECT_NE(
            fake().event_log.find("\n7 " + left_out + " more events like this one were left out"),
            std::string::npos)
            << fake().event_log;
    }
}

TEST(History, EndSumsUpTheLogsRecoveryThatItsOwnSummaryBrought) {
    fake_reset();
    History history{};
    for (int i = 0; i < 11; ++i) { // ID 28's window full; one event of ID 30 held back
        if (i < 10) {
            history_event(history, EventType::Information, EventId::EventsTakenAgain, "taken");
        }
        history_event(history, EventType::Information, EventId::SurvivorEnded, "ended");
    }
    fake().event_error = 1502;
    history_event(history, EventType::Warning, EventId::KillFailed, "refused");
    fake().event_error = 0;
    fake().keep_events = true;
    history_end(history); // ID 30's summary is taken: the log's recovery is held back in ID 28's
    EXPECT_EQ(fake().event_log,
              "7 1 more event like this one was left out in the last hour: ended\n"
              "7 1 more event like this one was left out in the last hour: the event log takes "
              "events again\n");
}

TEST(History, ADayOfRefusedStartsWritesTenAnHourAndSumsUpTheRest) {
    fake_reset();
    fake().count_shared = true;
    Watch run;
    history_share_refusals(run.history);
    run.start();
    Ticks at[288] = {}; // the instants of the refusals' events
    int written = 0;
    int left_out = 0;
    for (int start = 0; start < 300; ++start) { // every 5 minutes for a day, then an hour more
        History refused{};                      // a process of its own
        if (start < 288) {
            history_refused(refused, "another supervisor already watches this folder");
        }
        if (fake().events_of[5] > written) {
            at[written++] = fake().clock;
        }
        const int summaries = fake().events_of[7];
        run.passes(300);
        if (fake().events_of[7] > summaries) {
            EXPECT_EQ(fake().last_type, EventType::Error);
            EXPECT_NE(std::string(fake().last_event)
                          .find(" more events like this one were left out in the last hour: "
                                "another supervisor already watches this folder; this one ended "
                                "without touching it"),
                      std::string::npos);
            left_out += std::stoi(fake().last_event);
        }
    }
    for (int i = 10; i < written; ++i) {
        EXPECT_GE(at[i] - at[i - 10], history_hour) << i;
    }
    EXPECT_EQ(written + left_out, 288);
}

TEST(History, RefusedEventsAreDroppedSaidOnceAndTheSourceRegisteredAgain) {
    fake_reset();
    fake().register_error = 1722; // the Event Log service is not up yet
    fake().error_text = "The RPC server is unavailable.\r\n";
    History history{};
    history_start(history);
    history_event(history, EventType::Information, EventId::Start, "one");
    history_event(history, EventType::Information, EventId::Start, "two");
    EXPECT_EQ(fake().registrations, 3); // at start, and at each event after a failure
    EXPECT_EQ(fake().warnings, 1);
    EXPECT_STREQ(fake().last_warning, "warning: the event log refused an event (error 1722: The "
                                      "RPC server is unavailable.); the history goes on standard "
                                      "error only\n");
    fake().register_error = 0;
    history_event(history, EventType::Information, EventId::Start, "three");
    EXPECT_EQ(fake().events, 2); // "three", then the notice; nothing retried
    EXPECT_STREQ(fake().last_warning, "the event log takes events again\n");
    EXPECT_EQ(fake().last_id, 28u);

    fake().event_error = 1502; // the log is full: the next event registers again
    history_event(history, EventType::Warning, EventId::KillFailed, "four");
    fake().event_error = 0;
    history_event(history, EventType::Information, EventId::Escape, "five");
    EXPECT_EQ(fake().registrations, 5);
    EXPECT_EQ(fake().warnings, 4); // the log's recovery, on standard error only: ESC's is last
    EXPECT_EQ(fake().last_id, 4u);
}

TEST(History, AnotherAccountsCountIsWarnedOnceAndNeverSilencesNorSumsUpRefusals) {
    fake_reset();
    fake().count_shared = fake().count_foreign = true;
    fake().refusal_count = 1000; // planted
    Watch run;
    history_share_refusals(run.history);
    EXPECT_EQ(fake().events_of[29], 1);
    run.start();
    for (int start = 0; start < 12; ++start) {
        History refused{}; // a process of its own
        history_refused(refused, "another account, S-1-5-19, holds this folder's lock");
        run.passes(600);
    }
    EXPECT_EQ(fake().events_of[5], 12);
    EXPECT_EQ(fake().events_of[7], 0);
    EXPECT_EQ(fake().warnings, 1);
}

} // namespace
