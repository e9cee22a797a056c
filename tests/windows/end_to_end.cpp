#include "end_to_end.h"

#include <cstdlib>
#include <sstream>

SupervisorRun::SupervisorRun(const char* tag, bool with_worker)
    : dir(fresh_work_dir(tag)), worker_image(path("kq2.exe")) {
    copy_product("supervisor.exe", dir);
    copy_product("fkill.exe", dir);
    if (with_worker) {
        copy_product("kq2.exe", dir);
    }
}

SupervisorRun::~SupervisorRun() {
    if (supervisor.process != nullptr) {
        TerminateProcess(supervisor.process, 9);
        finish_process(supervisor, 5000);
    }
    const std::wstring image = widen(worker_image);
    for (const WorkerStart& worker : worker_starts()) {
        end_process(worker.pid, image);
    }
    const DWORD shown = status_pid();
    if (shown != 0) {
        end_process(shown, image);
    }
}

bool SupervisorRun::start(const std::string& arguments, DWORD flags) {
    const std::string out = path("output.txt");
    supervisor = start_process(quoted(path("supervisor.exe")) + " " + arguments, dir.c_str(),
                               out.c_str(), flags);
    return supervisor.process != nullptr;
}

// The seconds of a status line, or -1.
static long seconds_in(const std::string& line) {
    static const std::string since = "running since  ";
    return line.compare(0, since.size(), since) == 0
               ? std::strtol(line.c_str() + since.size(), nullptr, 10)
               : -1;
}

bool SupervisorRun::wait_for_status(const std::string& text, DWORD ms) {
    const std::size_t unit = text.find(" seconds");
    const long wanted = unit == std::string::npos ? -1 : seconds_in(text);
    const std::string rest = wanted < 0 ? text : text.substr(unit);
    const DWORD started = GetTickCount();
    for (long before = -1;; Sleep(100)) {
        const std::string line = status();
        const long now = seconds_in(line);
        if (line.find(text) != std::string::npos) {
            return true;
        }
        // Passed between the two polls: counting up, or counting up again after a check.
        if (wanted >= 0 && before >= 0 && now >= 0 && line.find(rest) != std::string::npos &&
            (before < wanted ? wanted <= now || now < before : now < before && wanted <= now)) {
            return true;
        }
        before = now >= 0 ? now : before;
        if (GetTickCount() - started > ms) {
            return false;
        }
    }
}

std::vector<WorkerStart> SupervisorRun::worker_starts() const {
    std::vector<WorkerStart> starts;
    std::istringstream lines(read_file(path("kq2_starts.txt")));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos) {
            starts.push_back({std::strtoul(line.c_str(), nullptr, 10), line.substr(blank + 1)});
        }
    }
    return starts;
}

DWORD SupervisorRun::status_pid() const {
    const std::string line = status();
    const std::size_t at = line.find("PID ");
    if (at == std::string::npos) {
        return 0;
    }
    const long pid = std::strtol(line.c_str() + at + 4, nullptr, 10);
    return pid > 0 ? static_cast<DWORD>(pid) : 0;
}
