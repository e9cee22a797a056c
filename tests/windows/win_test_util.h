// Helpers shared by the tests that run under Wine.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>

// The test program's own folder, ending in a backslash.
std::string exe_dir();
// A product program (supervisor.exe, fkill.exe, kq2.exe) in the build's bin folder.
std::string product_path(const char* name);
// A probe program built beside the test programs.
std::string probe_path(const char* name);
// A path as one argument of a command line, in quotes: the pack may lie in a folder with blanks.
std::string quoted(const std::string& path);
// An empty folder of this test's own, created anew, closed to other accounts.
std::string fresh_work_dir(const char* tag);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
void copy_product(const char* name, const std::string& dir);

// Handles the system holds open for the process (GetProcessHandleCount answers 0 on Wine).
unsigned long count_process_handles(DWORD pid);

// A call that Wine may never return from, such as a start, which waits for the child's own: past a
// minute, a thread of the test program names it on standard error and ends the program with status
// 3, so that a run says which call hung instead of waiting for ctest's time-out.
class WatchedCall {
  public:
    explicit WatchedCall(const std::string& what);
    ~WatchedCall();
    WatchedCall(const WatchedCall&) = delete;
    WatchedCall& operator=(const WatchedCall&) = delete;
};

struct Started {
    HANDLE process; // null when the start failed
    DWORD pid;
    DWORD error; // the system's error code when the start failed
};
// Starts command_line in dir (null: ours); output, when given, receives standard output and error.
Started start_process(const std::string& command_line, const char* dir = nullptr,
                      const char* output = nullptr, DWORD flags = 0);
// The same for names outside the ANSI code page.
Started start_process_w(const std::wstring& command_line, const wchar_t* dir,
                        const char* output = nullptr, DWORD flags = 0);
// An ANSI text in UTF-16.
std::wstring widen(const std::string& text);
// What became of a started process. A process that never started, a wait that failed and one that
// timed out each say so with the system's error code (or the wait), and none equals an exit code:
// a test that expects one shows which it was.
struct Finished {
    enum How { exited, not_started, wait_failed, timed_out } how;
    DWORD value; // the exit code, the system's error code, or the milliseconds waited
};
bool operator==(const Finished& finished, DWORD exit_code);
std::ostream& operator<<(std::ostream& out, const Finished& finished);
// Waits up to ms for the process, then closes its handle.
Finished finish_process(Started& started, DWORD ms);
bool process_alive(DWORD pid);
// Ends a process that a test left running, where pid still runs image (a full path, compared
// without regard to case). An ID read from a file may since name another test's process: Wine, as
// Windows, gives an ended process's ID to a new one, the longest free first.
void end_process(DWORD pid, const std::wstring& image);
// A section of one long (section) or a mutex named name, made as another account would make it:
// owned by LOCAL SERVICE (S-1-5-19), which Wine lets any program name as owner, with a NULL
// DACL. Null on failure.
HANDLE make_foreign_object(const char* name, bool section);
// Wine only: chmod MODE ("o+w", "o-w") on the Unix folder behind path, as Wine makes its DACL
// from the mode bits (o+w: Everyone may write). False where it did not take effect in 10 s.
bool unix_chmod(const std::string& path, const char* mode);
