// The start-up warnings over gathered facts.
#include "fake_platform.h"
#include "supervisor/startup_checks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

void set(char (&out)[fact_path_size], const char* text) {
    std::snprintf(out, sizeof out, "%s", text);
}

// All folder warnings for the facts, in order.
std::string warnings(const FolderFacts& facts) {
    std::string all;
    for (const FolderCheck check : folder_checks) {
        char out[startup_warning_size];
        if (folder_warning(facts, check, out)) {
            all += out;
        }
    }
    return all;
}

const char beside[] = "warning: kq2.exe is started from C:\\tools, the supervisor's folder, not "
                      "from the current folder C:\\work\n";
const char store_tail[] = " for this program; start the supervisor in a folder outside Program "
                          "Files and the Windows folder\n";

TEST(StartupChecks, FolderWarningsFollowTheFacts) {
    const struct {
        const char* current;
        const char* normalised;
        const char* own;
        bool worker_in_own, virtualised;
        std::string expected;
    } rows[] = {
        {"C:\\work", "C:\\WORK", "c:\\work\\", true, true, ""},
        {"C:\\Windows\\system32", "C:\\WINDOWS\\SYSTEM32", "C:\\work", false, false,
         "warning: the current folder is C:\\Windows\\system32; start the supervisor in the "
         "worker's folder\n"},
        {"C:\\Windows\\SysWOW64", "C:\\WINDOWS\\SYSWOW64", "C:\\work", false, false,
         "warning: the current folder is C:\\Windows\\SysWOW64; start the supervisor in the "
         "worker's folder\n"},
        {"C:\\Windows\\system32\\kq", "C:\\WINDOWS\\SYSTEM32\\KQ", "C:\\work", false, false, ""},
        {"\\\\server\\share\\work", "\\\\SERVER\\SHARE\\WORK", "C:\\work", false, false,
         "warning: the current folder \\\\server\\share\\work is a network (UNC) path, where "
         "cmd.exe cannot run fkill; map a drive letter to it and start the supervisor there\n"},
        {"\\\\?\\C:\\work", "\\\\?\\C:\\WORK", "C:\\work", false, false, ""},
        {"C:\\work", "C:\\WORK", "C:\\tools", true, false, beside},
        {"C:\\work", "C:\\WORK", "C:\\tools", false, false, ""},
        {"C:\\Program Files (x86)\\kq", "C:\\PROGRAM FILES (X86)\\KQ", "C:\\work", false, true,
         std::string("warning: Windows keeps this folder's log_kq.txt and check.txt in "
                     "C:\\Users\\ann\\AppData\\Local\\VirtualStore\\Program Files (x86)\\kq") +
             store_tail},
        {"C:\\ProgramData", "C:\\PROGRAMDATA", "C:\\work", false, true,
         std::string("warning: Windows keeps this folder's log_kq.txt and check.txt in "
                     "C:\\Users\\ann\\AppData\\Local\\VirtualStore\\ProgramData") +
             store_tail},
        {"C:\\Program Files (x86)\\kq", "C:\\PROGRAM FILES (X86)\\KQ", "C:\\work", false, false,
         ""},
        {"C:\\Program Files Old", "C:\\PROGRAM FILES OLD", "C:\\work", false, true, ""},
    };
    for (const auto& row : rows) {
        FolderFacts facts{};
        set(facts.current, row.current);
        set(facts.current_normalised, row.normalised);
        set(facts.own_folder, row.own);
        set(facts.own_folder_normalised,
            std::string(row.own).find("tools") != std::string::npos ? "C:\\TOOLS" : "C:\\WORK");
        facts.worker_in_own_folder = row.worker_in_own;
        facts.virtualised = row.virtualised;
        set(facts.local_app_data, "C:\\Users\\ann\\AppData\\Local");
        set(facts.windows, "C:\\WINDOWS");
        set(facts.system, "C:\\WINDOWS\\SYSTEM32");
        set(facts.system_wow64, "C:\\WINDOWS\\SYSWOW64");
        set(facts.program_files[0], "C:\\PROGRAM FILES (X86)");
        set(facts.program_files[1], "C:\\PROGRAM FILES");
        set(facts.program_data, "C:\\PROGRAMDATA");
        EXPECT_EQ(warnings(facts), row.expected) << row.current;
    }
}

TEST(StartupChecks, EarlierWorkerIsNamedOnlyWhileItRunsAsKq2) {
    const struct {
        const char* status;
        int running;
        bool warned;
    } rows[] = {{"running since  5 seconds, restarts 2 , PID 1234 \r\n", 1234, true},
                {"running since  5 seconds, restarts 2 , PID 1234 \r\n", 0, false},
                {"running since  5 seconds, restarts 2 , PID -1 \r\n", 0, false},
                {"running since  5 seconds, PID 1234 \r\n", 1234, false}};
    for (const auto& row : rows) {
        fake_reset();
        std::snprintf(fake().status, sizeof fake().status, "%s", row.status);
        fake().running_worker = row.running;
        warn_at_start();
        EXPECT_EQ(fake().warnings, row.warned ? 1 : 0) << row.status;
        if (row.warned) {
            EXPECT_STREQ(fake().last_warning, "warning: worker PID 1234 from an earlier run still "
                                              "runs; a second worker is started beside it\n");
        }
    }
}

} // namespace
