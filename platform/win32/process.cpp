// Process launch, shell commands and the start-up split on Win32.
#include "../command_line.h"
#include "../environment.h"
#include "../launch_rules.h"
#include "../platform.h"
#include "startup.h"

#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The environment as taken at start-up, for the look-ups of ComSpec, COMSPEC and PATH. Children
// are given none, so that they inherit the system's Unicode block: this ANSI copy would turn a
// character outside the code page into "?".
char* g_environment;
// The error of the first failed CreateProcessA since launch_child began: the worker's own file,
// not the ".bat" look-up that ends the search with "not found".
DWORD g_launch_error;

// Room for a program path: a 260-character path with ".com", ".exe" or ".bat" appended. Longer
// paths are refused rather than cut.
constexpr std::size_t program_path_capacity = MAX_PATH + 5;

struct StartResult {
    int value;      // exit status, process ID, or -1
    bool not_found; // a failure after which a search may go on with its next candidate
};

constexpr StartResult failed{-1, false};
constexpr StartResult not_found{-1, true};

// How long a Wait start may run before it is ended, and whether one was: set for shell commands.
DWORD g_wait_limit = INFINITE;
bool g_wait_timed_out;

// One CreateProcessA with the command line built from heads and argv[1..].
StartResult create_process(LaunchMode mode, const char* const* heads, std::size_t head_count,
                           const char* const* argv, ProcessPin* pin) {
    // On the stack, so that a launch allocates nothing however long the supervisor runs.
    char line[command_line_capacity];
    if (!build_command_line(line, sizeof line, heads, head_count, argv)) {
        return failed;
    }
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created;
    std::memset(&created, 0, sizeof created);
    // No application name: the system finds the program named at the head of the line.
    if (CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &created) == FALSE) {
        const DWORD error = GetLastError();
        if (g_launch_error == 0) {
            g_launch_error = error;
        }
        return is_not_found_error(error) ? not_found : failed;
    }
    int result = -1;
    if (mode == LaunchMode::NoWait) {
        result = static_cast<int>(created.dwProcessId);
        if (pin != nullptr) {
            *pin = reinterpret_cast<ProcessPin>(created.hProcess);
        } else {
            CloseHandle(created.hProcess);
        }
    } else {
        DWORD code = 0;
        const DWORD waited = WaitForSingleObject(created.hProcess, g_wait_limit);
        if (waited == WAIT_OBJECT_0 && GetExitCodeProcess(created.hProcess, &code) != FALSE) {
            result = static_cast<int>(code);
        } else if (waited == WAIT_TIMEOUT) {
            // Our own child, the interpreter, never the worker it may have started.
            TerminateProcess(created.hProcess, 1);
            WaitForSingleObject(created.hProcess, 1000);
            g_wait_timed_out = true;
        }
        CloseHandle(created.hProcess);
    }
    CloseHandle(created.hThread);
    return StartResult{result, false};
}

// A batch file runs under the COMSPEC interpreter, tried once as it is named: without one the
// launch fails rather than look for a program of no name.
StartResult run_batch(LaunchMode mode, const char* batch, const char* const* argv,
                      ProcessPin* pin) {
    const char* interpreter = get_environment_value("COMSPEC");
    if (interpreter == nullptr || *interpreter == '\0') {
        return failed;
    }
    const char* const heads[] = {interpreter, "/c", batch};
    return StartResult{create_process(mode, heads, 3, argv, pin).value, false};
}

// Finds the program file for path by its extension and starts it.
StartResult start_found(LaunchMode mode, const char* path, const char* const* argv,
                        ProcessPin* pin) {
    // An empty path names nothing; appending extensions to it would start ".com" or ".exe".
    if (path == nullptr || *path == '\0') {
        return not_found;
    }
    const std::size_t length = std::strlen(path);
    for (const LaunchStep* step = launch_plan(path); step->kind != LaunchStepKind::End; ++step) {
        char candidate[program_path_capacity];
        const std::size_t suffix_length = std::strlen(step->suffix);
        if (length >= sizeof candidate - suffix_length) {
            return failed;
        }
        std::memcpy(candidate, path, length);
        std::memcpy(candidate + length, step->suffix, suffix_length + 1);
        if (step->kind == LaunchStepKind::BatchIfExists) {
            if (file_exists(candidate) == 0) {
                return run_batch(mode, candidate, argv, pin);
            }
            continue;
        }
        const char* const heads[] = {candidate};
        const StartResult started = create_process(mode, heads, 1, argv, pin);
        if (!started.not_found) {
            return started;
        }
    }
    return not_found;
}

// An interpreter named by an absolute or drive path, or by nothing, is not looked for along PATH.
bool searchable_along_path(const char* path) {
    return path[0] != '\0' && path[0] != '\\' && path[1] != ':';
}

} // namespace

void take_environment() {
    // A block taken earlier is left in place: values looked up in it may still be in use. Only
    // tests take it more than once.
    g_environment = GetEnvironmentStrings();
}

const char* get_environment_value(const char* name) {
    return find_environment_value(g_environment, name);
}

bool split_process_command_line(int* argc, char*** argv) {
    const char* text = skip_program_name(GetCommandLineA());
    const SplitSize size = measure_arguments(text);
    if (size.arguments >= static_cast<std::size_t>(INT_MAX) - 1) {
        return false;
    }
    // One block: the pointers (program, arguments, the closing null), the program's path, the
    // arguments' characters.
    const std::size_t pointer_bytes = (size.arguments + 2) * sizeof(char*);
    const std::size_t module_room = MAX_PATH;
    if (size.bytes > SIZE_MAX - pointer_bytes - module_room - 1) {
        return false;
    }
    void* block = std::malloc(pointer_bytes + module_room + 1 + size.bytes);
    if (block == nullptr) {
        return false;
    }
    char** args = static_cast<char**>(block);
    char* module = static_cast<char*>(block) + pointer_bytes;
    // A truncated path comes back without its zero on older systems.
    const DWORD module_length = GetModuleFileNameA(nullptr, module, module_room);
    module[module_length < module_room ? module_length : module_room] = '\0';
    args[0] = module;
    split_arguments(text, module + module_room + 1, args + 1);
    *argc = static_cast<int>(size.arguments) + 1;
    *argv = args;
    return true;
}

int start_program(LaunchMode mode, const char* path, const char* const* argv) {
    if (mode != LaunchMode::Wait && mode != LaunchMode::NoWait) {
        return -1;
    }
    return start_found(mode, path, argv, nullptr).value;
}

int launch_child(const char* path, const char* const* argv, ProcessPin* pin) {
    if (pin != nullptr) {
        *pin = 0;
    }
    g_launch_error = 0;
    return start_found(LaunchMode::NoWait, path, argv, pin).value;
}

std::uint32_t last_launch_error() {
    return g_launch_error;
}

void release_pin(ProcessPin* pin) {
    if (pin != nullptr && *pin != 0) {
        // The seam keeps the handle as an integer, so that it needs no Windows header.
        CloseHandle(reinterpret_cast<HANDLE>(*pin)); // NOLINT(performance-no-int-to-ptr)
        *pin = 0;
    }
}

bool wait_pinned_exit(ProcessPin pin, std::uint32_t milliseconds) {
    if (pin == 0) {
        return true;
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the seam keeps the handle as an integer
    return WaitForSingleObject(reinterpret_cast<HANDLE>(pin), milliseconds) == WAIT_OBJECT_0;
}

bool pinned_exit_code(ProcessPin pin, std::uint32_t* code) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the seam keeps the handle as an integer
    const auto process = reinterpret_cast<HANDLE>(pin);
    DWORD exit_code = 0;
    // Signalled first: a process may end with code 259, STILL_ACTIVE.
    if (pin == 0 || !wait_pinned_exit(pin, 0) || GetExitCodeProcess(process, &exit_code) == FALSE) {
        return false;
    }
    *code = exit_code;
    return true;
}

namespace {

// The interpreter's command for text, found under its name or else along PATH.
int run_interpreter(const char* text) {
    const char* named = get_environment_value("ComSpec");
    // An empty ComSpec is used as it is, and fails: no silent fallback to another interpreter.
    const char* interpreter = named != nullptr ? named : "CMD.EXE";
    // Windows' cmd runs the AutoRun commands before every "/c" unless /d comes first (Wine's
    // ignores AutoRun); other interpreters may not know the switch.
    const char* const with_d[] = {"CMD", "/d", "/c", text, nullptr};
    // Entry 0 is never passed on, so one entry on "/d" stands in for it.
    const char* const* argv = is_cmd_exe(interpreter) ? with_d : with_d + 1;
    const StartResult started = start_found(LaunchMode::Wait, interpreter, argv, nullptr);
    if (!started.not_found || !searchable_along_path(interpreter)) {
        return started.value;
    }
    const char* cursor = get_environment_value("PATH");
    if (cursor == nullptr) {
        return -1;
    }
    char candidate[program_path_capacity];
    while (next_path_candidate(&cursor, interpreter, candidate, sizeof candidate) ==
           PathCandidate::Written) {
        const StartResult found = start_found(LaunchMode::Wait, candidate, argv, nullptr);
        if (!found.not_found) {
            return found.value;
        }
    }
    return -1;
}

} // namespace

int run_shell_command(const char* text, bool* timed_out) {
    if (timed_out != nullptr) {
        *timed_out = false;
    }
    if (text == nullptr) {
        return 1;
    }
    g_wait_limit = shell_command_limit_ms;
    g_wait_timed_out = false;
    const int status = run_interpreter(text);
    g_wait_limit = INFINITE;
    if (timed_out != nullptr) {
        *timed_out = g_wait_timed_out;
    }
    return status;
}
