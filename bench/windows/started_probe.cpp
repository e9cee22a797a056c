// Stands in for the worker in the recovery benchmark: signals that it runs, then waits.
#include <windows.h>

int main() {
    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, "kq2_bench_started");
    if (started != nullptr) {
        SetEvent(started);
        CloseHandle(started);
    }
    Sleep(INFINITE);
    return 0;
}
