// Writes the UTF-16 value of its variable KQ2_WIDE, as it received it, to env.txt.
#include <windows.h>

#include <cstdio>

int main() {
    wchar_t value[64];
    const DWORD size = GetEnvironmentVariableW(L"KQ2_WIDE", value, 64) % 64;
    FILE* f = std::fopen("env.txt", "wb");
    std::fwrite(value, sizeof(wchar_t), size, f);
    std::fclose(f);
}
