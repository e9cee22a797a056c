// kq2stat on folders where a real supervisor, demo worker and fkill run, and on folders made to
// show one fault each.
#include "end_to_end.h"
#include "platform/win32/folder_path.h"
#include "watch/folder_lock.h"

#include <gtest/gtest.h>

namespace {

struct Result {
    Finished code;
    std::string out;
};

// kq2stat run in dir; its output lands in out's ".out" file, as UTF-8. Run from a folder closed
// to others, as installed: run by an administrator it judges the folder it runs from too.
Result kq2stat(const std::string& out, const std::wstring& dir, const std::wstring& arguments) {
    static const std::string program = [] {
        const std::string folder =
            fresh_work_dir((std::string("program_") +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name())
                               .c_str());
        copy_product("kq2stat.exe", folder);
        return folder + "\\kq2stat.exe";
    }();
    Started run = start_process_w(widen(quoted(program)) + L" " + arguments, dir.c_str(),
                                  (out + ".out").c_str());
    const Finished code = finish_process(run, 30000);
    return {code, read_file(out + ".out")};
}

Result kq2stat(const std::string& dir, const std::string& arguments) {
    return kq2stat(dir, widen(dir), widen(arguments));
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
    std::string gauge = "kq2_others_may_write{folder=\"";
    for (const char c : run.dir) {
        gauge += c == '\\' ? "\\\\" : std::string(1, c);
    }
    EXPECT_NE(read_file(prom).find(gauge + "\"} 0\n"), std::string::npos);
    // Open to Everyone, as chmod o+w makes it under Wine.
    ASSERT_TRUE(unix_chmod(run.dir, "o+w"));
    expect(kq2stat(run.dir, "--prometheus " + quoted(prom)), 1,
           " s ago; others may change what runs from " + run.dir +
               ": Everyone may create files there, delete or replace its files |");
    EXPECT_NE(read_file(prom).find(gauge + "\"} 1\n"), std::string::npos);
    ASSERT_TRUE(unix_chmod(run.dir, "o-w"));

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

    end_process(run.status_pid(), widen(run.worker_image));
    Sleep(500);
    expect(kq2stat(run.dir, ""), 2,
           "KQ2 CRITICAL - worker PID " + worker +
               " is not running; the supervisor relaunches it at the next check, within ");
}

// Names outside the ANSI code page (1252 here): Cyrillic, Chinese, and one beyond the BMP.
TEST(Kq2stat, EachFolderByItsExactNameStalledThenEnded) {
    const std::string base = fresh_work_dir("kq2stat_names");
    const wchar_t* const names[] = {L"работа", L"表示", L"x😀"};
    const std::string texts[] = {u8"\\работа: ", u8"\\表示: ", u8"\\x😀: "};
    std::wstring dirs[3];
    Started supervisors[3];
    unsigned long pids[3] = {};
    for (int i = 0; i < 3; ++i) {
        dirs[i] = widen(base) + L"\\" + names[i];
        ASSERT_TRUE(CreateDirectoryW(dirs[i].c_str(), nullptr));
        for (const char* product : {"supervisor.exe", "fkill.exe", "kq2.exe"}) {
            CopyFileW(widen(product_path(product)).c_str(),
                      (dirs[i] + L"\\" + widen(product)).c_str(), FALSE);
        }
        supervisors[i] =
            start_process_w(L"\"" + dirs[i] + L"\\supervisor.exe\" /nobeat", dirs[i].c_str(),
                            (base + "\\" + std::to_string(i) + ".txt").c_str());
    }
    for (int i = 0, tries = 0; i < 3 && ++tries < 100; Sleep(100)) {
        while (i < 3 &&
               GetFileAttributesW((dirs[i] + L"\\log_kq.txt").c_str()) != INVALID_FILE_ATTRIBUTES) {
            ++i;
        }
    }
    Started second = start_process_w(L"\"" + dirs[0] + L"\\supervisor.exe\"", dirs[0].c_str(),
                                     (base + ".second").c_str());
    EXPECT_EQ(finish_process(second, 10000), 1u);
    EXPECT_NE(read_file(base + ".second").find("another supervisor already"), std::string::npos);

    // Relative names, one given twice: each judged once, by its own status file.
    Result r = kq2stat(base, widen(base), L"работа 表示 x😀 работа\\");
    expect(r, 0, "; 3 folders: 0 CRITICAL, 0 WARNING, 0 UNKNOWN, 3 OK |");
    for (int i = 0; i < 3; ++i) {
        const std::size_t at = r.out.find(texts[i] + "OK - worker PID ");
        ASSERT_NE(at, std::string::npos) << r.out;
        pids[i] = std::strtoul(r.out.c_str() + at + texts[i].size() + 16, nullptr, 10);
    }
    // By full names, and with none inside each folder.
    const Result full = kq2stat(base, widen(base),
                                L"\"" + dirs[0] + L"\" \"" + dirs[1] + L"\" \"" + dirs[2] + L"\"");
    for (int i = 0; i < 3; ++i) {
        const std::string pid = "OK - worker PID " + std::to_string(pids[i]) + " ";
        expect(full, 0, texts[i] + pid);
        expect(kq2stat(base, dirs[i], L""), 0, "KQ2 " + pid);
    }

    // Stalled as a hung supervisor looks to kq2stat: its status file no longer written (held
    // against writers), its lock still held. Not suspended: under load a suspended Wine process
    // that was then ended outlived its server, and the tests beside it hung.
    HANDLE held[3];
    // The supervisor's own write holds the file for a moment each second: that open is refused
    // with a sharing violation, and tried again.
    for (int i = 0; i < 3; ++i) {
        for (int tries = 0; tries < 100; ++tries, Sleep(10)) {
            held[i] =
                CreateFileW((dirs[i] + L"\\log_kq.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (held[i] != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) {
                break;
            }
        }
        EXPECT_NE(held[i], INVALID_HANDLE_VALUE) << GetLastError();
    }
    TerminateProcess(supervisors[2].process, 9);
    Sleep(3500);
    r = kq2stat(base, widen(base), L"--stale 2 работа 表示 x😀");
    expect(r, 2, texts[0] + "CRITICAL - supervisor hangs: log_kq.txt last written ");
    expect(r, 2, texts[1] + "CRITICAL - supervisor hangs");
    expect(r, 2, texts[2] + "CRITICAL - supervisor not running");
    for (int i = 0; i < 3; ++i) {
        CloseHandle(held[i]);
        TerminateProcess(supervisors[i].process, 9);
        finish_process(supervisors[i], 5000);
        end_process(pids[i], dirs[i] + L"\\kq2.exe");
    }
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
    const std::string status = hung + "\\log_kq.txt";
    HANDLE file =
        CreateFileA(status.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
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
    // Another account's lock, as the boot task's is to a monitoring agent that runs as SYSTEM: a
    // hang, that account named.
    lock = make_foreign_object(name, false);
    expect(kq2stat(hung, ""), 2,
           "KQ2 CRITICAL - supervisor hangs (lock held by NT AUTHORITY\\LOCAL SERVICE): log_kq.txt "
           "last written 4");
    // Its log_kq.txt gone under the held lock: a supervisor that cannot write it.
    ASSERT_TRUE(MoveFileA(status.c_str(), (hung + "\\kept").c_str()));
    expect(kq2stat(hung, ""), 2,
           "KQ2 CRITICAL - supervisor holds this folder's lock but log_kq.txt is missing (lock "
           "held by NT AUTHORITY\\LOCAL SERVICE)");
    ASSERT_TRUE(MoveFileA((hung + "\\kept").c_str(), status.c_str()));
    CloseHandle(lock);
    expect(kq2stat(hung, ""), 2, "KQ2 CRITICAL - supervisor not running");
    // Dated seven minutes ahead, as when the clock was set back: ahead of the clock now, as the
    // runs above take a minute under load.
    file =
        CreateFileA(status.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    GetSystemTimeAsFileTime(&now);
    now.dwHighDateTime += 1;
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &now));
    CloseHandle(file);
    expect(kq2stat(hung, ""), 2, "KQ2 CRITICAL - supervisor not running: log_kq.txt is dated 42");
}

} // namespace
