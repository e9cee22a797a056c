// A monitoring agent's cost of kq2stat: one run on a live supervisor's folder, start to exit,
// against the start and exit of a program that does nothing. Usage: stat_bench ROUNDS FOLDER, run
// in a folder holding kq2stat.exe and exit_at_once.exe. Prints the median milliseconds of each.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double now_ms() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Milliseconds from CreateProcessA to the end of the process, its exit code in code.
double run_ms(std::string command_line, DWORD& code) {
    // Output discarded, as for both programs alike.
    static HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    SetHandleInformation(nul, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = nul;
    si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    const double start = now_ms();
    if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi)) {
        code = 255;
        return 0;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    const double elapsed = now_ms() - start;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return elapsed;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: stat_bench ROUNDS FOLDER\n", stderr);
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    const std::string stat = std::string("kq2stat.exe \"") + argv[2] + "\"";
    std::vector<double> kq2stat;
    std::vector<double> trivial;
    DWORD worst = 0;
    for (int round = 0; round < rounds; ++round) {
        DWORD code = 0;
        kq2stat.push_back(run_ms(stat, code));
        worst = std::max(worst, code);
        trivial.push_back(run_ms("exit_at_once.exe", code));
    }
    std::printf("kq2stat %.1f ms (worst exit status %lu), trivial program %.1f ms, median of %d; "
                "ratio %.2f\n",
                median(kq2stat), worst, median(trivial), rounds, median(kq2stat) / median(trivial));
    return worst == 0 ? 0 : 1;
}
