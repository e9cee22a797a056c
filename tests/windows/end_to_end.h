// A supervisor run in a folder of its own, with the real fkill, demo worker and cmd.exe.
#pragma once

#include "win_test_util.h"

#include <string>
#include <vector>

struct WorkerStart {
    DWORD pid;
    std::string command_line;
};

class SupervisorRun {
  public:
    // A fresh folder named tag with supervisor.exe, fkill.exe and (with_worker) kq2.exe.
    explicit SupervisorRun(const char* tag, bool with_worker = true);
    // Ends the supervisor and every worker it started.
    ~SupervisorRun();

    bool start(const std::string& arguments, DWORD flags = 0);
    std::string path(const char* name) const { return dir + "\\" + name; }
    std::string status() const { return read_file(path("log_kq.txt")); }
    // Polls every 100 ms until the status line holds text; false on time-out. For a text that
    // begins "running since  N seconds", N counts as seen once the seconds have passed it between
    // two polls (the rest of text still held): a loop slowed by load never writes some seconds.
    bool wait_for_status(const std::string& text, DWORD ms);
    // The workers' starts as kq2.exe /record wrote them.
    std::vector<WorkerStart> worker_starts() const;
    // The PID that the status line shows, or 0.
    DWORD status_pid() const;

    std::string dir;
    // The program its workers run: the folder's kq2.exe, unless the supervisor takes its own.
    std::string worker_image;
    Started supervisor{nullptr, 0, 0};
};
