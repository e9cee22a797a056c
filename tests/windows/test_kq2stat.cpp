// kq2stat on folders where a real supervisor, demo worker and fkill run, and on folders made to
// show one fault each.
#include "end_to_end.h"
#include "platform/win32/folder_path.h"
#include "watch/folder_lock.h"

#include <gtest/gtest.h>

namespace {

// Flip to true once the supervisor holds its folder's lock: a suspended supervisor then "hangs".
constexpr bool supervisor_holds_lock = true;

struct Result {
    DWORD code;
    std::string out;
};

Result kq2stat(const std::string& dir, const std::string& arguments) {
    const std::string out = dir + ".out";
    Started run = start_process(quoted(product_path("kq2stat.exe")) + " " + arguments, dir.c_str(),
                                out.c_str());
    const DWORD code = finish_process(run, 30000);
    return {code, read_file(out)};
}

void expect(const Result& r, DWORD code, const std::string& text) {
    EXPECT_EQ(r.code, code) << r.out;
    EXPECT_NE(r.out.find(text), std::string::npos) << r.out;
}

TEST(Kq2stat, LiveFolderOkAndEachFaultOfItsFiles) {
    SupervisorRun run("kq2stat_live");
    ASSERT_TRUE(run.start("/nobeat"));
    ASSERT_TRUE(run.wait_for_status("restarts 1 ,", 10000)) << run.status();
    const std::string worker = std::to_string(run.status_pid());
    const std::string prom = run.dir + ".prom";
    expect(kq2stat(run.dir, "--prometheus " + quoted(prom)), 0,
           "KQ2 OK - worker PID " + worker + " ");
    EXPECT_NE(read_file(prom).find("kq2_worker_up{folder=\""), std::string::npos);

    const std::string heartbeat = run.path("check.txt");
    ASSERT_TRUE(CreateDirectoryA(heartbeat.c_str(), nullptr));
    expect(kq2stat(run.dir, ""), 2, "KQ2 CRITICAL - check.txt is a folder");
    RemoveDirectoryA(heartbeat.c_str());
    for (const DWORD attribute : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN}) {
        write_file(heartbeat, "");
        SetFileAttributesA(heartbeat.c_str(), attribute);
        const bool read_only = attribute == FILE_ATTRIBUTE_READONLY;
        expect(kq2stat(run.dir, ""), read_only ? 2 : 0,
               read_only ? "KQ2 CRITICAL - check.txt is read-only" : "KQ2 OK");
        SetFileAttributesA(heartbeat.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(heartbeat.c_str());
    }
    ASSERT_TRUE(DeleteFileA(run.path("fkill.exe").c_str()));
    expect(kq2stat(run.dir, ""), 1, "KQ2 WARNING - fkill.exe found neither");
    copy_product("fkill.exe", run.dir);

    end_process(run.status_pid());
    Sleep(500);
    expect(kq2stat(run.dir, ""), 2,
           "KQ2 CRITICAL - worker PID " + worker +
               " is not running; the supervisor relaunches it at the next check, within ");
}

TEST(Kq2stat, SupervisorSuspendedThenEnded) {
    SupervisorRun run("kq2stat_supervisor");
    ASSERT_TRUE(run.start("/nobeat"));
    ASSERT_TRUE(run.wait_for_status("restarts 1 ,", 10000)) << run.status();
    expect(kq2stat(run.dir, "--stale 2"), 0, "KQ2 OK");
    using Suspend = LONG(WINAPI*)(HANDLE);
    const auto suspend = reinterpret_cast<Suspend>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSuspendProcess")));
    ASSERT_NE(suspend, nullptr);
    ASSERT_EQ(suspend(run.supervisor.process), 0);
    Sleep(3500);
    expect(kq2stat(run.dir, "--stale 2"), 2,
           supervisor_holds_lock
               ? "KQ2 CRITICAL - supervisor hangs: log_kq.txt last written "
               : "KQ2 CRITICAL - supervisor not running: log_kq.txt last written ");
    TerminateProcess(run.supervisor.process, 9);
    finish_process(run.supervisor, 5000);
    run.supervisor.process = nullptr;
    expect(kq2stat(run.dir, "--stale 2"), 2, "KQ2 CRITICAL - supervisor not running");
}

TEST(Kq2stat, FoldersMadeToShowOneFaultEach) {
    const std::string dir = fresh_work_dir("kq2stat_made");
    const std::string line = "running since  5 seconds, restarts 1 , PID -1 \r\n";
    const struct {
        const char* folder;
        const char* status; // null: no log_kq.txt
        const char* arguments;
        DWORD code;
        const char* text;
    } rows[] = {
        {"empty", "", "empty", 3, "KQ2 UNKNOWN - log_kq.txt holds no status line"},
        {"foreign", "hello\r\n", "foreign", 3, "KQ2 UNKNOWN - log_kq.txt holds no status line"},
        {"failed", line.c_str(), "failed", 2,
         "KQ2 CRITICAL - the last launch of kq2.exe failed (1 launch); the supervisor tries again"},
        {"none", nullptr, "none", 2, "KQ2 CRITICAL - no supervisor ran here"},
        {nullptr, nullptr, "empty none", 2, "; 2 folders: 1 CRITICAL, 0 WARNING, 1 UNKNOWN, 0 OK"},
        {nullptr, nullptr, "--stale x", 3, "KQ2 UNKNOWN - bad arguments: --stale needs"},
        // A folder in the way: the move fails, and the temporary file goes.
        {nullptr, nullptr, "--prometheus foreign failed", 2,
         "KQ2 CRITICAL - cannot write foreign (error "},
    };
    for (const auto& row : rows) {
        if (row.folder != nullptr) {
            const std::string folder = dir + "\\" + row.folder;
            CreateDirectoryA(folder.c_str(), nullptr);
            copy_product("fkill.exe", folder);
            if (row.status != nullptr) {
                write_file(folder + "\\log_kq.txt", row.status);
            }
        }
        expect(kq2stat(dir, row.arguments), row.code, row.text);
    }
    expect(kq2stat(dir, "gone"), 3, "\\gone is no folder");
    WIN32_FIND_DATAA found;
    EXPECT_EQ(FindFirstFileA((dir + "\\*.tmp").c_str(), &found), INVALID_HANDLE_VALUE);

    // A lock held over a status file that stopped: the supervisor hangs.
    const std::string hung = dir + "\\failed";
    HANDLE file = CreateFileA((hung + "\\log_kq.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    now.dwHighDateTime -= 1; // about seven minutes ago
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &now));
    CloseHandle(file);
    char normalised[MAX_PATH * 2];
    ASSERT_TRUE(normalised_folder_path(hung.c_str(), normalised, sizeof normalised));
    char name[folder_lock_name_size];
    folder_lock_name(normalised, true, name);
    HANDLE lock = CreateMutexA(nullptr, TRUE, name);
    ASSERT_NE(lock, nullptr);
    expect(kq2stat(hung, ""), 2, "KQ2 CRITICAL - supervisor hangs: log_kq.txt last written 4");
    CloseHandle(lock);
    expect(kq2stat(hung, ""), 2, "KQ2 CRITICAL - supervisor not running");
}

} // namespace
