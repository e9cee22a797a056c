// Records what it was started with, in its current directory: line.txt gets the raw command line,
// pid.txt its process ID. While a file "hold" exists there it keeps running (up to 30 s). It then
// ends with the number that follows " exit " in its command line, so that it can stand in for the
// command interpreter ("/c exit 77").
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Written aside and renamed, so that a reader never sees half a file.
static void record(const char* name, const char* text) {
    char part[MAX_PATH];
    std::snprintf(part, sizeof part, "%s.%lu", name,
                  static_cast<unsigned long>(GetCurrentProcessId()));
    FILE* f = std::fopen(part, "wb");
    if (f != nullptr) {
        std::fwrite(text, 1, std::strlen(text), f);
        std::fclose(f);
        MoveFileExA(part, name, MOVEFILE_REPLACE_EXISTING);
    }
}

int main() {
    const char* line = GetCommandLineA();
    char pid[16];
    std::snprintf(pid, sizeof pid, "%lu", static_cast<unsigned long>(GetCurrentProcessId()));
    // The ID first: line.txt appearing tells a test that both are there.
    record("pid.txt", pid);
    record("line.txt", line);
    for (int i = 0; i < 1500 && GetFileAttributesA("hold") != INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(20);
    }
    const char* exit_word = std::strstr(line, " exit ");
    const unsigned long long code =
        exit_word != nullptr ? std::strtoull(exit_word + 6, nullptr, 10) : 0;
    return static_cast<int>(static_cast<unsigned int>(code));
}
