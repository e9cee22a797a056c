// Every text built into a fixed buffer, with the largest values its fields hold and the longest
// paths: whole, its line end included.
#include "monitor/prometheus_text.h"
#include "supervisor/startup_checks.h"
#include "watch/status_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t most = 4294967295u;

// One line, ended.
bool whole_line(const char* text) {
    return std::strcspn(text, "\n") + 1 == std::strlen(text);
}

TEST(TextRoom, SupervisorTextsKeepTheirLineEnds) {
    char out[status_text_size];
    void (*const with_pid[])(char(&)[status_text_size], std::int32_t) = {
        format_kill_failed_warning, format_earlier_worker_warning, format_started_again_notice};
    for (const std::int32_t pid : {2147483647, -2147483647 - 1, -1}) {
        for (const auto format : with_pid) {
            format(out, pid);
            EXPECT_TRUE(whole_line(out)) << out;
        }
    }
    format_status_line(out, most, most, -2147483647 - 1);
    EXPECT_TRUE(whole_line(out)) << out;
    format_look_failed_warning(out, most);
    EXPECT_TRUE(whole_line(out)) << out;
    format_stopped_command_warning(out, std::string(200, 'c').c_str());
    EXPECT_TRUE(whole_line(out)) << out;
    char launch[launch_warning_size];
    format_launch_failed_warning(launch, most, std::string(2000, 't').c_str());
    EXPECT_TRUE(whole_line(launch)) << launch;
    TextBuf cut = text_buf(launch, 8); // an echoed argument of any length
    put_text(cut, "0123456789");
    put_line_end(cut);
    EXPECT_STREQ(launch, "012345\n");

    // The longest paths: a drive path that is the Windows folder, the supervisor elsewhere,
    // virtualised; then a network path. Every check speaks.
    StartupFacts f{};
    const std::string path = "C:\\" + std::string(fact_path_size - 4, 'p');
    for (char* field : {f.current_normalised, f.windows, f.local_app_data, f.own_folder}) {
        std::strcpy(field, path.c_str());
    }
    f.own_folder[0] = f.own_folder_normalised[0] = 'D';
    f.worker_in_own_folder = f.virtualised = true;
    char warning[startup_warning_size];
    unsigned fired = 0;
    for (const std::string& current : {path, "\\\\" + path.substr(2)}) {
        std::strcpy(f.current, current.c_str());
        for (const FolderCheck check : folder_checks) {
            if (folder_warning(f, check, warning)) {
                EXPECT_TRUE(whole_line(warning)) << warning;
                fired |= 1u << static_cast<int>(check);
            }
        }
    }
    EXPECT_EQ(fired, 15u);
}

TEST(TextRoom, Kq2statTextsFitForEveryFolderAtOnce) {
    static char room[prometheus_text_size];
    static FolderFacts facts[max_folders];
    static Verdict verdicts[max_folders];
    static Utf16Text labels[max_folders];
    const std::string path(folder_path_size - 1, 'p');
    const std::vector<std::uint16_t> units(folder_path_size - 1, 0x20ac); // 3 bytes in UTF-8
    const std::string failure = "cannot write " + path + " (error 4294967295)";
    // The longest form of each long reason in turn, in every folder.
    void (*const reasons[])(FolderFacts&) = {
        [](FolderFacts&) {},
        [](FolderFacts& f) { f.status_age = most; },
        [](FolderFacts& f) { f.status_age = most, f.lock_held = false; },
        [](FolderFacts& f) {
            f.status_age = most, f.lock_owner = {true, true, false, false, {}};
            std::memset(f.lock_owner.account, 'a', account_name_size - 1);
        },
        [](FolderFacts& f) { f.worker_running = false; },
        [](FolderFacts& f) { f.line.pid = -1, f.worker_running = false; },
        [](FolderFacts& f) { f.fkill_found = false; },
        [](FolderFacts& f) { f.status = StatusFile::unreadable; },
        [](FolderFacts& f) { f.heartbeat = Heartbeat::unreadable; },
        [](FolderFacts& f) { // every account named, with the longest name, all it may do
            for (Writer& writer : f.access.writers) {
                std::memset(writer.name, 'a', account_name_size - 1), writer.may = 15;
            }
            f.access.count = max_writers, f.access.more = f.access.unreadable = true;
            std::memset(f.access.unreadable_object, 'o', sizeof f.access.unreadable_object - 1);
            f.access.unreadable_error = most;
        },
    };
    for (const auto reason : reasons) {
        for (std::size_t i = 0; i < max_folders; ++i) {
            FolderFacts& f = facts[i] = FolderFacts{};
            f.folder = path.c_str();
            f.status = StatusFile::parsed;
            f.status_error = f.heartbeat_error = most;
            f.line = {most, most, -2147483647 - 1};
            f.is_folder = f.age_known = f.lock_held = f.worker_running = f.fkill_found = true;
            reason(f);
            verdicts[i] = judge_folder(f, 60);
            labels[i] = Utf16Text{units.data(), units.size()};
        }
        TextBuf out = text_buf(room, plugin_text_size);
        format_plugin_output(out, facts, verdicts, max_folders, most, failure.c_str());
        EXPECT_FALSE(out.overflow) << room;
        out = text_buf(room, prometheus_text_size);
        format_prometheus(out, facts, verdicts, labels, max_folders, most);
        EXPECT_FALSE(out.overflow) << room;
    }
}

} // namespace
