// Stands in for programs and interpreters: writes its raw command line to line.txt in its current
// folder, keeps running while a file "hold" is there (up to 30 s), then ends with the number after
// " exit " in its command line, so that it can play the interpreter ("/c exit 77").
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    const char* line = GetCommandLineA();
    if (FILE* f = std::fopen("line.txt", "wb")) {
        std::fputs(line, f);
        std::fclose(f);
    }
    for (int i = 0; i < 1500 && GetFileAttributesA("hold") != INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(20);
    }
    const char* exit_word = std::strstr(line, " exit ");
    return exit_word != nullptr ? static_cast<int>(std::strtoul(exit_word + 6, nullptr, 10)) : 0;
}
