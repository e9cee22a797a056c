// The idle baseline: a program that sleeps one second at a time, for ever.
#include <windows.h>

int main() {
    for (;;) {
        Sleep(1000);
    }
}
