// Plays an interpreter that never ends, whatever it is told.
#include <windows.h>

int main() {
    Sleep(INFINITE);
}
