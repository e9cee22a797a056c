// Launches, shell commands, the start-up split and fkill on the real Win32 API. The probe
// record_line.exe stands in for programs and interpreters: it records its raw command line.
#include "platform/platform.h"
#include "platform/win32/startup.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

std::string variable(const char* name) {
    char value[32768];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n < sizeof value ? std::string(value, n) : std::string();
}

class Process : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fresh_work_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
        comspec_ = variable("ComSpec");
        path_ = variable("PATH");
        take_environment();
    }
    void TearDown() override {
        use_env(comspec_.empty() ? nullptr : comspec_.c_str(), path_.c_str());
        SetCurrentDirectoryA(exe_dir().c_str());
    }
    // The environment that launches pass on and look up: the process's own with these changes.
    // The system's own search for a program keeps the process's PATH.
    void use_env(const char* comspec, const char* path = nullptr) const {
        SetEnvironmentVariableA("ComSpec", nullptr);
        SetEnvironmentVariableA("ComSpec", comspec);
        SetEnvironmentVariableA("PATH", path);
        take_environment();
        SetEnvironmentVariableA("PATH", path_.c_str());
    }
    // Launches as the watchdog does and waits through the pin: what the child recorded.
    static std::string launch_and_read(const char* path, const char* const* argv) {
        DeleteFileA("line.txt");
        ProcessPin pin = 0;
        if (launch_child(path, argv, &pin) == -1) {
            EXPECT_EQ(pin, 0u);
            return "<failed>";
        }
        EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(pin), 20000), WAIT_OBJECT_0);
        release_pin(&pin);
        return read_file("line.txt");
    }
    static std::string shell_line(const char* text, int expected_status) {
        DeleteFileA("line.txt");
        EXPECT_EQ(run_shell_command(text), expected_status) << (text ? text : "(null)");
        return read_file("line.txt");
    }
    std::string dir_, comspec_, path_;
    const std::string probe_ = probe_path("record_line.exe");
    const char* const kq2_argv_[3] = {"kq2.exe", "/z", nullptr};
};

TEST_F(Process, LaunchChildReturnsTheRunningChildsIdAndTheLineUnquoted) {
    launch_and_read(probe_.c_str(), kq2_argv_); // the first launch may set up handles of its own
    const unsigned long handles = count_process_handles(GetCurrentProcessId());
    write_file("hold", "");
    const char* const argv[] = {"kq2.exe", "/z", "a b", "", "q\"x", "t\tu", nullptr};
    ProcessPin pin = 0;
    const int pid = launch_child(probe_.c_str(), argv, &pin);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(process_alive(static_cast<DWORD>(pid))); // held: the launch did not wait
    const auto held = reinterpret_cast<HANDLE>(pin);
    EXPECT_EQ(GetProcessId(held), static_cast<DWORD>(pid));
    EXPECT_EQ(count_process_handles(GetCurrentProcessId()), handles + 1);
    DeleteFileA("hold");
    // The pin outlives the child, so its ID cannot go to another process meanwhile.
    ASSERT_EQ(WaitForSingleObject(held, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(read_file("line.txt"), probe_ + " /z a b  q\"x t\tu");
    EXPECT_EQ(read_file("pid.txt"), std::to_string(pid));
    release_pin(&pin);
    EXPECT_EQ(pin, 0u);
    EXPECT_EQ(count_process_handles(GetCurrentProcessId()), handles);

    const char* const alone[] = {"kq2.exe", nullptr};
    EXPECT_EQ(launch_and_read(probe_.c_str(), alone), probe_ + " ");
}

TEST_F(Process, MissingProgramGetsAppendedExtensionsThenTheBatchFile) {
    use_env(probe_.c_str());
    EXPECT_EQ(launch_and_read("kq2.exe", kq2_argv_), "<failed>");
    CopyFileA(probe_.c_str(), "kq2.exe.exe", FALSE);
    EXPECT_EQ(launch_and_read("kq2.exe", kq2_argv_), "kq2.exe.exe /z");
    CopyFileA(probe_.c_str(), "kq2.exe.com", FALSE);
    write_file("kq2.exe.bat", "@echo ran %1> ran.txt\r\n");
    EXPECT_EQ(launch_and_read("kq2.exe", kq2_argv_), "kq2.exe.com /z");
    DeleteFileA("kq2.exe.com");
    DeleteFileA("kq2.exe.exe");
    SetEnvironmentVariableA("COMSPEC", probe_.c_str()); // the spelling of the batch lookup
    take_environment();
    EXPECT_EQ(launch_and_read("kq2.exe", kq2_argv_), probe_ + " /c kq2.exe.bat /z");
    CopyFileA(probe_.c_str(), "kq2.exe", FALSE);
    EXPECT_EQ(launch_and_read("kq2.exe", kq2_argv_), "kq2.exe /z");

    // Never bare without an extension; ".bat" in any case goes to the interpreter if it exists.
    CopyFileA(probe_.c_str(), "bare", FALSE);
    EXPECT_EQ(launch_and_read("bare", kq2_argv_), "<failed>");
    write_file("job.BaT", "");
    EXPECT_EQ(launch_and_read("job.BaT", kq2_argv_), probe_ + " /c job.BaT /z");
    CopyFileA(probe_.c_str(), "other.bat.exe", FALSE);
    EXPECT_EQ(launch_and_read("other.bat", kq2_argv_), "other.bat.exe /z");
    EXPECT_EQ(launch_child(std::string(400, 'k').c_str(), kq2_argv_, nullptr), -1);
}

TEST_F(Process, BatchFileRunsOnlyUnderAnInterpreterNamedByComspec) {
    write_file("kq2.exe.bat", "@echo ran %1> ran.txt\r\n");
    use_env(comspec_.c_str());
    launch_and_read("kq2.exe", kq2_argv_);
    EXPECT_EQ(read_file("ran.txt"), "ran /z\r\n");
    // Without one nothing starts, not even what an empty name plus an extension would find.
    CopyFileA(probe_.c_str(), ".exe", FALSE);
    CopyFileA(probe_.c_str(), ".com", FALSE);
    use_env(nullptr);
    EXPECT_EQ(launch_and_read("kq2.exe", kq2_argv_), "<failed>");
    // An empty ComSpec fails shell commands too: no fall-back interpreter.
    use_env("", dir_.c_str());
    EXPECT_EQ(launch_and_read("kq2.exe", kq2_argv_), "<failed>");
    EXPECT_EQ(shell_line("exit 4", -1), "");
}

TEST_F(Process, ShellCommandPassesTheTextAndReturnsTheStatusUnchanged) {
    for (const char* spelling : {"ComSpec", "COMSPEC", "comspec"}) {
        SetEnvironmentVariableA("ComSpec", nullptr);
        SetEnvironmentVariableA(spelling, probe_.c_str());
        take_environment();
        EXPECT_EQ(shell_line("exit 77", 77), probe_ + " /c exit 77") << spelling;
    }
    EXPECT_EQ(shell_line(" exit 5 > nul \"q\"", 5), probe_ + " /c  exit 5 > nul \"q\"");
    shell_line("exit 4294967294", -2);
    shell_line("exit 259", 259); // the value of STILL_ACTIVE too
    EXPECT_EQ(shell_line(nullptr, 1), "");
    EXPECT_EQ(run_shell_command(std::string(40000, 'a').c_str()), -1);

    // Without ComSpec, CMD.EXE.
    use_env(nullptr, path_.c_str());
    write_file("check.txt", "x");
    EXPECT_EQ(run_shell_command("del check.txt > nul"), 0);
    EXPECT_EQ(file_exists("check.txt"), -1);
    EXPECT_EQ(run_shell_command("exit 3"), 3);
}

TEST_F(Process, ShellCommandSearchesPathOnlyForARelativeInterpreter) {
    const std::string tools = dir_ + "\\tools";
    CreateDirectoryA(tools.c_str(), nullptr);
    CreateDirectoryA((tools + "\\sub").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(probe_.c_str(), (tools + "\\sub\\fi.exe").c_str(), FALSE));
    use_env("sub\\fi.exe", (dir_ + "\\missing;;" + tools + "\\;" + dir_).c_str());
    EXPECT_EQ(shell_line("exit 9", 9), tools + "\\sub\\fi.exe /c exit 9");
    // A too long element ends the search before the one that would match; no PATH, no search.
    use_env("sub\\fi.exe", (std::string(250, 'x') + ";" + tools).c_str());
    EXPECT_EQ(shell_line("exit 7", -1), "");
    use_env("sub\\fi.exe");
    EXPECT_EQ(shell_line("exit 7", -1), "");
    // Rooted and drive paths are never searched for.
    for (const char* rooted : {"\\sub\\fi.exe", "Z:\\no\\such.exe", "Z:sub\\fi.exe"}) {
        use_env(rooted, tools.c_str());
        EXPECT_EQ(shell_line("exit 7", -1), "") << rooted;
    }
}

TEST_F(Process, StartupSplitsTheRawCommandLineByItsOwnRule) {
    const std::string exe = probe_path("startup_probe.exe");
    const struct {
        std::string line;
        Texts args;
    } cases[] = {
        {"\"" + exe + "\" a \"b c\" d", {"a", "b c", "d"}},
        {"\"" + exe + "\"x\ty", {"x", "y"}}, // the quoted name ends at its quote
        {exe + " \t\r\n ", {}},
        {exe + " \"\" a\"b c\"d", {"", "ab cd"}},
        {exe + " a\\\\\"b \\\"q\\\" x\ny", {"a\\\"b", "\"q\"", "x\ny"}},
        // The name as typed plays no part: argv[0] is the program's own full path.
        {"startup_probe.exe \"unclosed arg", {"unclosed arg"}},
    };
    for (const auto& c : cases) {
        DeleteFileA("argv.txt");
        Started started = start_process(c.line, dir_.c_str());
        EXPECT_EQ(finish_process(started, 20000), 0u) << c.line;
        // The probe writes argc, argv[0..argc-1], each ended by a zero, then "end".
        Texts expected{std::to_string(c.args.size() + 1), exe};
        expected.insert(expected.end(), c.args.begin(), c.args.end());
        std::string recorded;
        for (const std::string& arg : expected) {
            recorded += arg + '\0';
        }
        EXPECT_EQ(read_file("argv.txt"), recorded + "end") << c.line;
    }
}

TEST_F(Process, FkillEndsTheNamedProcessAndRefusesAnythingElse) {
    write_file("hold", "");
    ProcessPin pin = 0;
    const int pid = launch_child(probe_.c_str(), kq2_argv_, &pin);
    ASSERT_GT(pid, 0);
    const std::string id = std::to_string(pid);
    const auto fkill = [&](const std::string& arguments, std::string* output) {
        Started started = start_process(product_path("fkill.exe") + " " + arguments, nullptr,
                                        (dir_ + "\\fkill.txt").c_str());
        const DWORD status = finish_process(started, 20000);
        *output = read_file(dir_ + "\\fkill.txt");
        return status;
    };
    const std::string refused[] = {
        "",
        "abc",
        id + "x",
        "+" + id,
        "-" + id,
        "\" " + id + "\"",
        id + " " + id,
        "\"1\n2\"",
        "0",
        "2147483648",
        "99999999999999999999",
        std::string(3000, '7'),
        std::to_string(GetCurrentThreadId()), // names a thread, no process
    };
    for (const std::string& arguments : refused) {
        std::string output;
        EXPECT_NE(fkill(arguments, &output), 0u) << arguments;
        EXPECT_EQ(output.find('\n'), output.size() - 1) << "not one line: " << output;
    }
    EXPECT_TRUE(process_alive(static_cast<DWORD>(pid)));

    std::string output;
    EXPECT_EQ(fkill(id, &output), 0u) << output;
    const auto held = reinterpret_cast<HANDLE>(pin);
    ASSERT_EQ(WaitForSingleObject(held, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(held, &code);
    EXPECT_EQ(code, 1u); // ended by fkill, not by the hold running out
    release_pin(&pin);
}

TEST_F(Process, LaunchesAndShellCommandsLeaveNoHandleBehind) {
    const auto one_round = [&] {
        use_env(nullptr, path_.c_str());
        EXPECT_EQ(run_shell_command("rem"), 0);
        use_env(probe_.c_str());
        EXPECT_EQ(run_shell_command("exit 1"), 1);
        EXPECT_GT(launch_child(probe_.c_str(), kq2_argv_, nullptr), 0);
        ProcessPin pin = 0;
        EXPECT_GT(launch_child(probe_.c_str(), kq2_argv_, &pin), 0);
        release_pin(&pin);
        EXPECT_EQ(launch_child("missing.exe", kq2_argv_, nullptr), -1);
    };
    one_round();
    const unsigned long before = count_process_handles(GetCurrentProcessId());
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 20; ++i) {
        one_round();
    }
    EXPECT_EQ(count_process_handles(GetCurrentProcessId()), before);
}

} // namespace
