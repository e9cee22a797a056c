// The start-up warnings over gathered facts.
#include "supervisor/startup_checks.h"
#include "watch/folder_lock.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A machine with C:\Windows and Program Files (x86).
const StartupFacts machine{"",
                           "",
                           "",
                           "",
                           true,
                           false,
                           "C:\\Users\\ann\\AppData\\Local",
                           "C:\\WINDOWS",
                           "C:\\WINDOWS\\SYSTEM32",
                           "C:\\WINDOWS\\SYSWOW64",
                           {"", "", "C:\\PROGRAM FILES (X86)"},
                           "C:\\PROGRAMDATA",
                           {}};

// All folder warnings for a current folder without 8.3 names (so the OS-free step normalises
// it), the supervisor in C:\tools or beside its worker there.
std::string warnings(const char* current, bool beside, bool virtualised) {
    StartupFacts f = machine;
    std::snprintf(f.current, sizeof f.current, "%s", current);
    std::snprintf(f.current_normalised, sizeof f.current, "%s", current);
    normalise_folder_path(f.current_normalised);
    std::snprintf(f.own_folder, sizeof f.current, "%s", beside ? "C:\\tools" : current);
    std::snprintf(f.own_folder_normalised, sizeof f.current, "%s",
                  beside ? "C:\\TOOLS" : f.current_normalised);
    f.virtualised = virtualised;
    std::string all;
    char out[startup_warning_size];
    for (const FolderCheck check : folder_checks) {
        all += folder_warning(f, check, out) ? out : "";
    }
    return all;
}

std::string system_folder(const char* folder) {
    return std::string("warning: the current folder is ") + folder +
           "; start the supervisor in the worker's folder\n";
}

std::string store(const char* folder) {
    return std::string("warning: Windows keeps this folder's log_kq.txt and check.txt in "
                       "C:\\Users\\ann\\AppData\\Local\\VirtualStore") +
           folder +
           " for this program; start the supervisor in a folder outside Program Files and the "
           "Windows folder\n";
}

TEST(StartupChecks, FolderWarningsFollowTheFacts) {
    const struct {
        const char* current;
        bool beside, virtualised;
        std::string expected;
    } rows[] = {
        {"c:\\work\\", false, true, ""},
        {"C:\\Windows\\system32", false, false, system_folder("C:\\Windows\\system32")},
        {"C:\\Windows\\SysWOW64", false, false, system_folder("C:\\Windows\\SysWOW64")},
        {"C:\\Windows\\system32\\kq", false, false, ""},
        {"\\\\server\\share\\work", false, true,
         "warning: the current folder \\\\server\\share\\work is a network (UNC) path, where "
         "cmd.exe cannot run fkill; map a drive letter to it and start the supervisor there\n"},
        {"C:\\work", true, false,
         "warning: kq2.exe is started from C:\\tools, the supervisor's folder, not from the "
         "current folder C:\\work\n"},
        {"C:\\Program Files (x86)\\kq", false, true, store("\\Program Files (x86)\\kq")},
        {"C:\\ProgramData", false, true, store("\\ProgramData")},
        {"C:\\Program Files (x86) old", false, true, ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(warnings(row.current, row.beside, row.virtualised), row.expected) << row.current;
    }
}

} // namespace
