// Launches, shell commands, the start-up split and fkill on the real Win32 API. The probe
// record_line.exe stands in for programs and interpreters: it records its raw command line.
#include "platform/platform.h"
#include "platform/win32/startup.h"
#include "win_test_util.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::string_literals;

const char* const kq2_argv[] = {"kq2.exe", "/z", nullptr};

// The line that the probe recorded, as Windows passes it on: unchanged (CreateProcess's
// documentation). Wine quotes a program name that holds a blank where the line left it unquoted.
std::string recorded_line() {
    std::string line = read_file("line.txt");
    const std::size_t end = line.find('"', 1);
    if (line[0] == '"' && end != std::string::npos && line.find(' ') < end) {
        line.erase(end, 1);
        line.erase(0, 1);
    }
    return line;
}

// Whether this process's token holds the privilege, enabled or not.
bool token_holds(const char* privilege) {
    LUID wanted{};
    HANDLE token = nullptr;
    if (!LookupPrivilegeValueA(nullptr, privilege, &wanted) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    DWORD room[1024];
    DWORD size = 0;
    const bool read = GetTokenInformation(token, TokenPrivileges, room, sizeof room, &size) != 0;
    CloseHandle(token);
    const auto* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(room);
    for (DWORD i = 0; read && i < held->PrivilegeCount; ++i) {
        const LUID& luid = held->Privileges[i].Luid;
        if (luid.LowPart == wanted.LowPart && luid.HighPart == wanted.HighPart) {
            return true;
        }
    }
    return false;
}

class Process : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
        take_environment();
    }
    // The environment that launches pass on and look up: ours with these changes. The system's
    // own search for a program keeps our PATH. Each test sets what it needs.
    void use_env(const char* comspec, const char* path = nullptr,
                 const char* spelling = "ComSpec") const {
        SetEnvironmentVariableA("ComSpec", nullptr); // whatever its spelling
        SetEnvironmentVariableA(spelling, comspec);
        SetEnvironmentVariableA("PATH", path);
        take_environment();
        SetEnvironmentVariableA("PATH", path_);
    }
    // Launches as the watchdog does, then waits through the pin: what the child recorded.
    static std::string launch_and_read(const char* path, const char* const* argv = kq2_argv) {
        const WatchedCall call(std::string("launch_child(") + path + ")");
        write_file("hold", "");
        DeleteFileA("line.txt");
        ProcessPin pin = 0;
        const int pid = launch_child(path, argv, &pin);
        const auto held = reinterpret_cast<HANDLE>(pin);
        // Still held by the file: the launch did not wait, and the pin is that very child.
        const bool running = WaitForSingleObject(held, 0) == WAIT_TIMEOUT &&
                             GetProcessId(held) == static_cast<DWORD>(pid);
        DeleteFileA("hold");
        EXPECT_EQ(running, pid != -1) << pid;
        // A failed launch leaves no pin.
        EXPECT_EQ(WaitForSingleObject(held, 20000), pid == -1 ? WAIT_FAILED : WAIT_OBJECT_0);
        release_pin(&pin);
        EXPECT_EQ(pin, 0u);
        return pid == -1 ? "<failed>" : recorded_line();
    }
    static std::string shell_line(const char* text, int expected_status) {
        DeleteFileA("line.txt");
        EXPECT_EQ(run_shell_command(text), expected_status) << text;
        return recorded_line();
    }
    const std::string dir_ =
        fresh_work_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    // The C runtime's copy of the environment keeps the PATH we started with.
    const char* const path_ = std::getenv("PATH");
    const std::string probe_ = probe_path("record_line.exe");
};

TEST_F(Process, LaunchFindsTheProgramByAppendedExtensionsAndPassesTheLineUnquoted) {
    use_env(nullptr);
    EXPECT_EQ(launch_and_read("kq2.exe"), "<failed>");
    // A batch file runs under the interpreter that COMSPEC names (in any case), never without one.
    write_file("kq2.exe.bat", "");
    EXPECT_EQ(launch_and_read("kq2.exe"), "<failed>");
    use_env(probe_.c_str());
    EXPECT_EQ(launch_and_read("kq2.exe"), probe_ + " /c kq2.exe.bat /z");
    // The name as given comes first, then ".com", ".exe", ".bat" appended: each copy wins.
    for (const char* found : {"kq2.exe.exe", "kq2.exe.com", "kq2.exe"}) {
        CopyFileA(probe_.c_str(), found, FALSE);
        EXPECT_EQ(launch_and_read("kq2.exe"), found + " /z"s);
    }
    const char* const argv[] = {"kq2.exe", "/z", "a b", "", "q\"x", "t\tu", nullptr};
    EXPECT_EQ(launch_and_read("kq2.exe", argv), "kq2.exe /z a b  q\"x t\tu");
    const char* const alone[] = {"kq2.exe", nullptr};
    EXPECT_EQ(launch_and_read("kq2.exe", alone), "kq2.exe ");
    EXPECT_EQ(launch_child(std::string(400, 'k').c_str(), kq2_argv, nullptr), -1); // not cut
}

TEST_F(Process, ShellCommandRunsComspecAsSpelledAndReturnsItsStatusUnchanged) {
    for (const char* spelling : {"COMSPEC", "comspec"}) {
        use_env(probe_.c_str(), nullptr, spelling);
        EXPECT_EQ(shell_line(" exit 5 > nul \"q\"", 5), probe_ + " /c  exit 5 > nul \"q\"");
    }
    shell_line("exit 4294967294", -2);
    shell_line("exit 259", 259); // the value of STILL_ACTIVE too
    EXPECT_EQ(run_shell_command(std::string(40000, 'a').c_str()), -1);

    // A relative interpreter is looked for along PATH, elements used as they are.
    const std::string tools = dir_ + "\\tools";
    CreateDirectoryA(tools.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(probe_.c_str(), (tools + "\\fi.exe").c_str(), FALSE));
    use_env("fi.exe", (dir_ + "\\missing;;" + tools + "\\").c_str());
    EXPECT_EQ(shell_line("exit 9", 9), tools + "\\fi.exe /c exit 9");
    // Empty, rooted or missing: no search, no fall-back. ".exe" would run if "" took extensions.
    CopyFileA(probe_.c_str(), ".exe", FALSE);
    for (const char* comspec : {"", "\\fi.exe", "Z:\\no\\such.exe"}) {
        use_env(comspec, tools.c_str());
        EXPECT_EQ(shell_line("exit 7", -1), "") << comspec;
    }
    use_env(nullptr); // unset: CMD.EXE, here the probe under that name
    CopyFileA(probe_.c_str(), "CMD.EXE", FALSE);
    // cmd.exe alone is told /d, so that no AutoRun command runs first.
    EXPECT_EQ(shell_line("exit 3", 3), "CMD.EXE /d /c exit 3");
}

const wchar_t* const command_processor = L"Software\\Microsoft\\Command Processor";

// A registry value as it was: its type and bytes; or ERROR_FILE_NOT_FOUND where there was none,
// or the error that kept it from being read.
struct SavedValue {
    LONG status;
    DWORD type;
    std::vector<BYTE> bytes;
};

SavedValue save_value(HKEY key, const wchar_t* name) {
    SavedValue saved{ERROR_MORE_DATA, REG_NONE, {}};
    // Sized by a first query without a buffer, and asked again should it grow in between.
    for (int tries = 0; saved.status == ERROR_MORE_DATA && tries < 3; ++tries) {
        DWORD size = 0;
        saved.status = RegQueryValueExW(key, name, nullptr, &saved.type, nullptr, &size);
        if (saved.status == ERROR_SUCCESS) {
            saved.bytes.resize(size);
            saved.status =
                RegQueryValueExW(key, name, nullptr, &saved.type, saved.bytes.data(), &size);
            saved.bytes.resize(size);
        }
    }
    return saved;
}

// An AutoRun command (Clink, conda hooks, "cd /d" lines) runs before every "cmd /c" but never
// before the supervisor's own commands. Wine's cmd ignores AutoRun: there only the clean run of
// the supervisor's command is seen; on Windows the plain "cmd /c" shows that the command is live.
// The user's own value comes back byte for byte, or none, as before; one that cannot be read is
// left alone. "" when the check passed, else why not.
std::string check_autorun_kept_away(HKEY key, const std::string& dir) {
    const SavedValue saved = save_value(key, L"AutoRun");
    if (saved.status != ERROR_SUCCESS && saved.status != ERROR_FILE_NOT_FOUND) {
        return "the AutoRun value cannot be read (error " + std::to_string(saved.status) +
               "), so it is left alone and not checked";
    }
    const std::string autorun = "echo ran>\"" + dir + "\\autorun.txt\"";
    if (RegSetValueExA(key, "AutoRun", 0, REG_SZ, reinterpret_cast<const BYTE*>(autorun.c_str()),
                       static_cast<DWORD>(autorun.size() + 1)) != ERROR_SUCCESS) {
        return "cannot set AutoRun";
    }
    const int status = run_shell_command("exit 3");
    const bool ran_for_supervisor = file_exists("autorun.txt") == 0;
    const char* const plain[] = {"CMD", "/c", "exit 3", nullptr};
    start_program(LaunchMode::Wait, get_environment_value("ComSpec"), plain);
    const bool live = file_exists("autorun.txt") == 0;
    const LONG back = saved.status == ERROR_FILE_NOT_FOUND
                          ? RegDeleteValueW(key, L"AutoRun")
                          : RegSetValueExW(key, L"AutoRun", 0, saved.type, saved.bytes.data(),
                                           static_cast<DWORD>(saved.bytes.size()));
    if (back != ERROR_SUCCESS) {
        return "the AutoRun value was not put back (error " + std::to_string(back) + ")";
    }
    std::printf("AutoRun %s by this cmd.exe\n", live ? "is run" : "is not run");
    return status == 3 && !ran_for_supervisor ? "" : "the supervisor's command ran AutoRun";
}

TEST_F(Process, ShellCommandsKeepCmdsAutoRunAway) {
    HKEY key = nullptr;
    DWORD created = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, command_processor, 0, nullptr, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, &created),
              ERROR_SUCCESS);
    EXPECT_EQ(check_autorun_kept_away(key, dir_), "");
    RegCloseKey(key);
    if (created == REG_CREATED_NEW_KEY) {
        RegDeleteKeyW(HKEY_CURRENT_USER, command_processor);
    }
}

// AutoRun values as testers' machines hold them: a Clink line under a Cyrillic profile, over 4096
// bytes, to expand; none; one that cannot be read. Set only in a Wine prefix of the test's own (the
// ctest test autorun_values), never in a user's registry nor in one that other tests share.
TEST_F(Process, AUsersAutoRunComesBackAsItWas) {
    if (GetEnvironmentVariableA("KQ2_AUTORUN_PREFIX", nullptr, 0) == 0) {
        GTEST_SKIP() << "only in a Wine prefix of its own";
    }
    HKEY key = nullptr;
    HKEY unreadable = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, command_processor, 0, nullptr, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, command_processor, 0, KEY_SET_VALUE, &unreadable),
              ERROR_SUCCESS);
    std::wstring clink =
        L"\"C:\\Users\\\x0414\x043c\x0438\x0442\x0440\x0438\x0439\\clink.bat\" inject";
    clink.resize(2600, L'\x0439');
    const auto* bytes = reinterpret_cast<const BYTE*>(clink.c_str());
    const std::vector<BYTE> value(bytes, bytes + (clink.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(RegSetValueExW(key, L"AutoRun", 0, REG_EXPAND_SZ, value.data(),
                             static_cast<DWORD>(value.size())),
              ERROR_SUCCESS);
    EXPECT_EQ(check_autorun_kept_away(key, dir_), "");
    EXPECT_NE(check_autorun_kept_away(unreadable, dir_), "");
    const SavedValue back = save_value(key, L"AutoRun");
    EXPECT_EQ(back.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_TRUE(back.bytes == value) << back.bytes.size() << " bytes back of " << value.size();

    RegDeleteValueW(key, L"AutoRun");
    EXPECT_EQ(check_autorun_kept_away(key, dir_), "");
    EXPECT_EQ(save_value(key, L"AutoRun").status, ERROR_FILE_NOT_FOUND);
    RegCloseKey(unreadable);
    RegCloseKey(key);
}

TEST_F(Process, ChildrenInheritTheUnicodeEnvironmentWhole) {
    const wchar_t wide[] = L"\x4e2d\x6587-\x00e9-\x0416";
    SetEnvironmentVariableW(L"KQ2_WIDE", wide);
    EXPECT_EQ(start_program(LaunchMode::Wait, probe_path("wide_env.exe").c_str(), kq2_argv), 0);
    EXPECT_EQ(read_file("env.txt"),
              std::string(reinterpret_cast<const char*>(wide), sizeof wide - 2));
}

TEST_F(Process, StartupSplitsTheRawCommandLineByItsOwnRule) {
    const std::string exe = probe_path("startup_probe.exe");
    // Each raw line and the arguments it gives after argv[0], each ended by a zero.
    const std::pair<std::string, std::string> cases[] = {
        // The quoted name ends at its quote; unlike the C runtime, \\" keeps \ and a quote.
        {"\"" + exe + "\"x\ty \"\" a\\\\\"b", "x\0y\0\0a\\\"b\0"s},
        {"startup_probe.exe \t\r\n ", ""},
        // argv[0] is the program's own full path, whatever the line names.
        {"startup_probe.exe \"unclosed arg", "unclosed arg\0"s},
    };
    for (const auto& [line, args] : cases) {
        Started started = start_process(line, dir_.c_str());
        EXPECT_EQ(finish_process(started, 20000), 0u) << line;
        EXPECT_EQ(read_file("argv.txt"), exe + '\0' + args + "end") << line;
    }
}

TEST_F(Process, FkillEndsTheNamedProcessAndRefusesBadIds) {
    write_file("hold", "");
    Started victim = start_process(quoted(probe_));
    const std::string id = std::to_string(victim.pid);
    const auto fkill = [&](const std::string& arguments) {
        Started started = start_process(quoted(product_path("fkill.exe")) + " " + arguments,
                                        nullptr, "fkill.txt");
        return finish_process(started, 20000);
    };
    for (const std::string& bad :
         {""s, "abc"s, id + "x", "-" + id, "0"s, "2147483648"s, id + " " + id}) {
        const Finished refused = fkill(bad);
        EXPECT_TRUE(refused.how == Finished::exited && refused.value != 0)
            << bad << ": " << refused;
        const std::string said = read_file("fkill.txt");
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "not one line: " << said;
    }
    EXPECT_EQ(fkill(id), 0u);
    // Ended by the time fkill returns, by fkill rather than by the hold running out.
    EXPECT_EQ(WaitForSingleObject(victim.process, 0), WAIT_OBJECT_0);
    EXPECT_EQ(finish_process(victim, 0), 1u);

    // A DACL that grants nothing, as another account's worker has to an operator. Windows grants
    // the open with SeDebugPrivilege, which fkill enables where the token holds it (an elevated
    // administrator's); Wine enables it but refuses all the same. Decided before the run, so that
    // an fkill that no longer tries with the privilege fails here on Windows.
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    const bool granted = !wine && token_holds("SeDebugPrivilege");
    Started shut = start_process(quoted(probe_));
    ACL nothing{};
    ASSERT_TRUE(InitializeAcl(&nothing, sizeof nothing, ACL_REVISION));
    ASSERT_EQ(SetSecurityInfo(shut.process, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &nothing, nullptr),
              0u);
    EXPECT_EQ(fkill(std::to_string(shut.pid)), granted ? 0u : 1u) << "privilege: " << granted;
    EXPECT_EQ(WaitForSingleObject(shut.process, 0) == WAIT_OBJECT_0, granted);
    EXPECT_EQ(read_file("fkill.txt")
                      .find(" (error 5): run fkill as the worker's account, or as an "
                            "administrator\r\n") != std::string::npos,
              !granted);
    TerminateProcess(shut.process, 1);
    finish_process(shut, 5000);

    // A process that ended by itself, its ID still held: ended, as asked, without a word.
    DeleteFileA("hold");
    Started gone = start_process(quoted(probe_));
    ASSERT_EQ(WaitForSingleObject(gone.process, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(fkill(std::to_string(gone.pid)), 0u);
    EXPECT_EQ(read_file("fkill.txt"), "");
    finish_process(gone, 0);
}

TEST_F(Process, LaunchesAndShellCommandsLeaveNoHandleBehind) {
    use_env(probe_.c_str());
    unsigned long before = 0;
    for (int round = 0; round <= 20; ++round) {
        if (round == 1) { // the first round may set up handles of its own
            before = count_process_handles(GetCurrentProcessId());
        }
        EXPECT_EQ(run_shell_command("exit 1"), 1);
        EXPECT_GT(launch_child(probe_.c_str(), kq2_argv, nullptr), 0);
        ProcessPin pin = 0;
        EXPECT_GT(launch_child(probe_.c_str(), kq2_argv, &pin), 0);
        release_pin(&pin);
    }
    EXPECT_GT(before, 0u);
    EXPECT_EQ(count_process_handles(GetCurrentProcessId()), before);
}

} // namespace
