// A sample worker for trying the supervisor: it proves it is alive by creating check.txt in the
// current directory every few seconds. Options follow "/z":
//   /beat:N  heartbeat every N seconds (default 5)
//   /hang:N  stop beating after N seconds but keep running
//   /exit:N  end after N seconds
//   /nobeat  never beat
//   /show    print log_kq.txt with each heartbeat
//   /record  append "PID command line" to kq2_starts.txt at start
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Options {
    unsigned long beat = 5;
    unsigned long hang = 0; // 0: never
    unsigned long exit_after = 0;
    bool never_beat = false;
    bool show_status = false;
    bool record = false;
};

// "/name:N" with N a whole number of seconds from 1 on.
bool seconds_option(const char* arg, const char* name, unsigned long* out) {
    const std::size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0 || arg[n] != ':') {
        return false;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(arg + n + 1, &end, 10);
    if (end == arg + n + 1 || *end != '\0' || value == 0 || value > 86400) {
        std::fprintf(stderr, "kq2: %s needs a number of seconds from 1 to 86400\n", name);
        return true;
    }
    *out = value;
    return true;
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "/z") == 0 || seconds_option(arg, "/beat", &options.beat) ||
            seconds_option(arg, "/hang", &options.hang) ||
            seconds_option(arg, "/exit", &options.exit_after)) {
            continue;
        }
        if (std::strcmp(arg, "/nobeat") == 0) {
            options.never_beat = true;
        } else if (std::strcmp(arg, "/show") == 0) {
            options.show_status = true;
        } else if (std::strcmp(arg, "/record") == 0) {
            options.record = true;
        } else {
            std::fprintf(stderr,
                         "kq2: unknown option \"%s\" ignored (options: /beat:N /hang:N "
                         "/exit:N /nobeat /show /record)\n",
                         arg);
        }
    }
    return options;
}

bool beat() {
    HANDLE file = CreateFileA("check.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

void show_status() {
    char line[128] = "";
    if (FILE* f = std::fopen("log_kq.txt", "r")) {
        if (std::fgets(line, sizeof line, f) == nullptr) {
            line[0] = '\0';
        }
        std::fclose(f);
    }
    line[std::strcspn(line, "\r\n")] = '\0';
    std::printf("kq2 %lu:   log_kq.txt: %s\n", GetCurrentProcessId(), line);
}

void record_start() {
    if (FILE* f = std::fopen("kq2_starts.txt", "a")) {
        std::fprintf(f, "%lu %s\n", GetCurrentProcessId(), GetCommandLineA());
        std::fclose(f);
    }
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    const DWORD pid = GetCurrentProcessId();
    if (options.record) {
        record_start();
    }
    std::printf("kq2 %lu: started\n", pid);
    std::fflush(stdout);
    const DWORD started = GetTickCount();
    unsigned long beats = 0;
    bool hung = false;
    for (unsigned long second = 0;; ++second) {
        if (options.exit_after != 0 && second >= options.exit_after) {
            std::printf("kq2 %lu: exiting after %lu seconds\n", pid, second);
            return 0;
        }
        if (options.hang != 0 && second >= options.hang && !hung) {
            hung = true;
            std::printf("kq2 %lu: hanging now (no more heartbeats)\n", pid);
        }
        if (!options.never_beat && !hung && second % options.beat == 0) {
            ++beats;
            const bool ok = beat();
            std::printf("kq2 %lu: heartbeat %lu%s\n", pid, beats,
                        ok ? "" : " (cannot create check.txt)");
            if (options.show_status) {
                show_status();
            }
        }
        std::fflush(stdout);
        // Sleep to the next whole second since the start, so the beats do not drift.
        const DWORD next = (second + 1) * 1000u;
        const DWORD elapsed = GetTickCount() - started;
        Sleep(next > elapsed ? next - elapsed : 0);
    }
}
