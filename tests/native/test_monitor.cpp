// kq2stat's judgement of a folder from its facts, and the texts it hands to monitoring engines.
#include "monitor/folder_state.h"
#include "monitor/plugin_output.h"
#include "monitor/prometheus_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A watched folder with nothing wrong: fresh status line, live worker, fkill found.
FolderFacts healthy() {
    FolderFacts f{};
    f.folder = "C:\\work";
    f.is_folder = true;
    f.status = StatusFile::parsed;
    f.age_known = true;
    f.status_age = 1;
    f.line = {37, 1, 1234};
    f.lock_held = true;
    f.worker_running = true;
    f.fkill_found = true;
    return f;
}

TEST(Monitor, JudgesEachReasonWorstFirst) {
    const struct {
        void (*change)(FolderFacts&);
        State state;
        Reason reason;
    } rows[] = {
        {[](FolderFacts&) {}, State::ok, Reason::ok},
        {[](FolderFacts& f) { f.heartbeat = Heartbeat::file; }, State::ok, Reason::ok},
        {[](FolderFacts& f) { f.status_age = 60; }, State::ok, Reason::ok},
        {[](FolderFacts& f) { f.is_folder = false; }, State::unknown, Reason::no_folder},
        {[](FolderFacts& f) {
             f.status = StatusFile::missing;
             f.age_known = false;
             f.lock_held = false;
         },
         State::critical, Reason::no_status_file},
        {[](FolderFacts& f) { f.status_ahead = 5; }, State::ok, Reason::ok},
        {[](FolderFacts& f) { f.status_ahead = 6; }, State::critical, Reason::status_in_future},
        {[](FolderFacts& f) { f.status_age = 61; }, State::critical, Reason::supervisor_hangs},
        {[](FolderFacts& f) {
             f.status_age = 61;
             f.lock_held = false;
             f.fkill_found = false;
         },
         State::critical, Reason::supervisor_not_running},
        {[](FolderFacts& f) {
             f.line.pid = -1;
             f.worker_running = false;
         },
         State::critical, Reason::launch_failed},
        {[](FolderFacts& f) { f.worker_running = false; }, State::critical, Reason::worker_gone},
        {[](FolderFacts& f) { f.heartbeat = Heartbeat::folder; }, State::critical,
         Reason::heartbeat_folder},
        {[](FolderFacts& f) { f.heartbeat = Heartbeat::read_only; }, State::critical,
         Reason::heartbeat_read_only},
        {[](FolderFacts& f) { f.heartbeat = Heartbeat::unreadable; }, State::critical,
         Reason::heartbeat_unreadable},
        {[](FolderFacts& f) { f.fkill_found = false; }, State::warning, Reason::no_fkill},
        {[](FolderFacts& f) {
             f.status = StatusFile::unreadable;
             f.fkill_found = false;
         },
         State::warning, Reason::no_fkill},
        {[](FolderFacts& f) { f.status = StatusFile::unreadable; }, State::unknown,
         Reason::status_unreadable},
        {[](FolderFacts& f) {
             f.status = StatusFile::unparsable;
             f.worker_running = false;
         },
         State::unknown, Reason::status_unparsable},
    };
    for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        FolderFacts f = healthy();
        rows[i].change(f);
        const Verdict v = judge_folder(f, 60);
        EXPECT_EQ(v.state, rows[i].state) << "row " << i;
        EXPECT_EQ(v.reason, rows[i].reason) << "row " << i;
    }
}

std::string plugin(const FolderFacts* facts, std::size_t count, const char* failure, State& state) {
    Verdict verdicts[4];
    for (std::size_t i = 0; i < count; ++i) {
        verdicts[i] = judge_folder(facts[i], 60);
    }
    char room[2048];
    TextBuf out = text_buf(room, sizeof room);
    state = format_plugin_output(out, facts, verdicts, count, 60, failure);
    return room;
}

TEST(Monitor, PluginLinesRankTheWorstFolderFirst) {
    State state{};
    const FolderFacts one = healthy();
    EXPECT_EQ(plugin(&one, 1, nullptr, state),
              "KQ2 OK - worker PID 1234 running, 1 launch, last check 37 s ago | "
              "status_age=1s;;60;0 since_check=37s;;;0 launches=1c;;;0\n");
    EXPECT_EQ(state, State::ok);
    EXPECT_EQ(plugin(&one, 1, "cannot write x.prom (error 5)", state).substr(0, 50),
              "KQ2 UNKNOWN - cannot write x.prom (error 5); worke");

    FolderFacts several[3] = {healthy(), healthy(), healthy()};
    several[0].folder = "C:\\a";
    several[0].status = StatusFile::unparsable;
    several[1].folder = "C:\\b";
    several[1].worker_running = false;
    several[2].is_folder = false;
    several[2].folder = "C:\\c";
    EXPECT_EQ(plugin(several, 3, "ignored", state),
              "KQ2 CRITICAL - ignored; C:\\b: worker PID 1234 is not running; the supervisor "
              "relaunches it at the next check, within 23 s; 3 folders: 1 CRITICAL, 0 WARNING, "
              "2 UNKNOWN, 0 OK | status_age_1=1s;;60;0 status_age_2=1s;;60;0 "
              "since_check_2=37s;;;0 launches_2=1c;;;0\n"
              "C:\\a: UNKNOWN - log_kq.txt holds no status line\n"
              "C:\\b: CRITICAL - worker PID 1234 is not running; the supervisor relaunches it at "
              "the next check, within 23 s\n"
              "C:\\c: UNKNOWN - no such folder\n");
    EXPECT_EQ(state, State::critical);

    // A clock set back: the file's date is no sign of life, and the age says why.
    FolderFacts ahead[2] = {healthy(), healthy()};
    ahead[0].status_ahead = 3000;
    ahead[0].lock_held = false;
    ahead[1].folder = "C:\\a|b";
    ahead[1].is_folder = false;
    EXPECT_EQ(plugin(ahead, 1, "cannot write a|b (error 123)", state),
              "KQ2 CRITICAL - cannot write a/b (error 123); supervisor not running: log_kq.txt is "
              "dated 3000 s in the future | status_age=-3000s;;60;0 since_check=37s;;;0 "
              "launches=1c;;;0\n");
    EXPECT_EQ(plugin(ahead + 1, 1, nullptr, state), "KQ2 UNKNOWN - C:\\a/b is no folder\n");
    const Verdict verdict = judge_folder(ahead[0], 60);
    const std::uint16_t label[] = {'C'};
    const Utf16Text labels[] = {{label, 1}};
    char room[4096];
    TextBuf out = text_buf(room, sizeof room);
    format_prometheus(out, ahead, &verdict, labels, 1, 60);
    for (const char* sample :
         {"kq2_supervisor_up{folder=\"C\"} 0\n", "kq2_status_age_seconds{folder=\"C\"} -3000\n"}) {
        EXPECT_NE(std::string(room).find(sample), std::string::npos) << sample;
    }
}

// A held lock over a stale or missing log_kq.txt is a supervisor's, whichever account kq2stat runs
// as: another account that owns it is named, an owner not read is not.
TEST(Monitor, AHeldLockIsASupervisorOfAnyAccountAndAnotherOneIsNamed) {
    const OwnerFacts own{true, true, true, false, ""}, unread{true, false, false, false, ""},
        shut{}, other{true, true, false, false, "PC\\user"};
    const std::string hang = "supervisor hangs: log_kq.txt last written 300 s ago |";
    const std::string gone = "supervisor holds this folder's lock but log_kq.txt is missing";
    const struct {
        std::uint32_t age; // 0: no log_kq.txt
        bool held;
        OwnerFacts owner;
        std::string said;
    } rows[] = {
        {300, true, own, hang},
        {300, true, unread, hang},
        {300, true, shut, hang},
        {300, true, other, "supervisor hangs (lock held by PC\\user): log_kq.txt last written 300"},
        {300, false, other, "supervisor not running: log_kq.txt last written 300 s ago |"},
        {0, true, shut, gone + "\n"},
        {0, true, other, gone + " (lock held by PC\\user)\n"},
        {0, false, own, "no supervisor ran here: log_kq.txt is missing\n"},
    };
    for (const auto& row : rows) {
        FolderFacts f = healthy();
        f.status = row.age == 0 ? StatusFile::missing : f.status;
        f.age_known = row.age != 0;
        f.status_age = row.age;
        f.lock_held = row.held;
        f.lock_owner = row.owner;
        State state{};
        EXPECT_EQ(plugin(&f, 1, nullptr, state).substr(15, row.said.size()), row.said);
        EXPECT_EQ(state, State::critical) << row.said;
    }
}

TEST(Monitor, LabelValuesAreEscapedUtf8) {
    // "C:\ä "€" 😀", a newline, then a lone high and a lone low surrogate.
    const std::uint16_t units[] = {'C', ':',    '\\',   0xe4, ' ',    '"', 0x20ac, '"',
                                   ' ', 0xd83d, 0xde00, '\n', 0xd800, 'x', 0xdc00};
    char room[128];
    TextBuf out = text_buf(room, sizeof room);
    put_label_value(out, Utf16Text{units, sizeof units / sizeof units[0]});
    EXPECT_EQ(std::string(room), "C:\\\\\xc3\xa4 \\\"\xe2\x82\xac\\\" \xf0\x9f\x98\x80\\n"
                                 "\xef\xbf\xbdx\xef\xbf\xbd");
}

} // namespace
