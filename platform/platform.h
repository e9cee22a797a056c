// The seam between the supervisor and the operating system. The product implements it with
// Win32 calls under platform/win32; the native tests implement it with a simulated platform.
#pragma once

#include "../watch/object_owner.h"
#include "../watch/write_access.h"

#include <cstddef>
#include <cstdint>

// Hundredths of a second since start-up; differences are taken modulo 2^32.
using Ticks = std::uint32_t;

// ---- Clock, sleep, files and messages ----

Ticks ticks_now();
void sleep_seconds(std::uint32_t seconds);
// 0 when anything of that name exists (file, directory, hidden, read-only), -1 otherwise.
int file_exists(const char* path);
// Unknown: the look itself failed (access refused, a network error); only "not found" is Absent.
enum class PathKind { Absent, File, Directory, Unknown };
// What is at path, telling a directory from a file (hidden and read-only ones are files). For
// Unknown, error (when not null) receives the system's error number.
PathKind path_kind(const char* path, unsigned long* error);
// Deletes the file in the supervisor's own view of the folder; false when it could not.
bool delete_file(const char* path);
// Up to capacity bytes from the start of the file; how many were read, 0 when none could be.
std::size_t read_file_start(const char* path, char* out, std::size_t capacity);
// Replaces the file's content with text, each LF stored as CR LF. False when nothing could be
// written; never prints.
bool write_text_file(const char* path, const char* text);
// Standard output: line-buffered on a console, fully buffered otherwise, flushed by exit_process.
void print_message(const char* text);
// Standard error, unbuffered: the supervisor's operational warnings.
void print_warning(const char* text);
[[noreturn]] void exit_process(int code);

// ---- Process launch and shell commands ----

enum class LaunchMode { Wait = 0, NoWait = 1 };

// An open handle to a launched process. While it is held, the system cannot give the process's ID
// to another process. 0 holds nothing.
using ProcessPin = std::uintptr_t;

// Starts the program; Wait gives its exit status, NoWait its process ID. -1 on failure.
int start_program(LaunchMode mode, const char* path, const char* const* argv);
// Starts path without waiting and returns its process ID, or -1. With pin, the process handle is
// kept there (release it with release_pin); without, no handle outlives the call.
int launch_child(const char* path, const char* const* argv, ProcessPin* pin);
void release_pin(ProcessPin* pin);
// Waits up to milliseconds for the pinned process to end. True once it has ended, and when nothing
// is pinned.
bool wait_pinned_exit(ProcessPin pin, std::uint32_t milliseconds);
// True when the pinned process has ended, without waiting; its exit code then goes to code. False
// when nothing is pinned.
bool pinned_exit_code(ProcessPin pin, std::uint32_t* code);
// How long a shell command may run before its interpreter is ended.
constexpr std::uint32_t shell_command_limit_ms = 30000;
// Runs text through the command interpreter and waits: its exit status, -1 when it could not be
// started, 1 for a null text. An interpreter still running after shell_command_limit_ms is ended:
// -1, and timed_out (when not null) is set.
int run_shell_command(const char* text, bool* timed_out = nullptr);
// The value of the first environment entry named name (A-Z without regard to case), or null.
const char* get_environment_value(const char* name);
// The system's error code from the last launch_child that failed, of the first program file it
// tried (the path as named), not of a later candidate of the extension search; 0 when none.
std::uint32_t last_launch_error();
// The system's text for an error code, as the system gives it; false when it has none.
bool error_text(std::uint32_t code, char* out, std::size_t capacity);
// True when pid is a running process whose image file name is image, a name in lower case (ASCII
// letters compared without regard to case): a reused ID of another program is not taken for it.
bool process_runs_image(unsigned long pid, const char* image);

// ---- Console key input ----

// Never blocks: true when a key press waits in the console input.
bool key_available();
// One key code: the key's character, 0 to 255; for a key without one, 0 and then its whole 16-bit
// scan code. -1 when reading fails.
int read_key();

// ---- Console selection (QuickEdit) ----
// A selection in a classic console window blocks every program writing to it, so a printing
// worker would stop beating. Without a console both do nothing.

// Turns QuickEdit off on the console input, the other mode bits kept, and remembers the mode read.
void console_quick_edit_off();
// Gives back the mode read by console_quick_edit_off, so that QuickEdit returns as it was.
void console_restore_mode();
// ---- Start-up: the folder's lock and the facts behind the start-up warnings ----

enum class FolderLock { Taken, HeldByAnother, Unavailable };
// Takes the named mutex that marks the current folder as watched, kept until the process ends and
// never inherited, owned by this process's user with a DACL for it and SYSTEM. HeldByAnother when
// it exists already or is another account's; holder then receives what its owner is.
FolderLock take_folder_lock(OwnerFacts& holder);

// Room for a path among the facts; a path that does not fit is left empty.
constexpr std::size_t fact_path_size = 520;
// Folders as the system names them, and in the normalised form of the folder lock (the Windows
// folder and the ones after it are normalised only). Empty where the system gives none.
struct StartupFacts {
    char current[fact_path_size];
    char current_normalised[fact_path_size];
    char own_folder[fact_path_size]; // the supervisor's program's folder
    char own_folder_normalised[fact_path_size];
    bool worker_in_own_folder;           // kq2.exe is a file there
    bool virtualised;                    // UAC file virtualisation is on for this process
    char local_app_data[fact_path_size]; // as named; the user's VirtualStore lies under it
    char windows[fact_path_size];
    char system[fact_path_size];
    char system_wow64[fact_path_size];
    char program_files[3][fact_path_size]; // ProgramFiles, ProgramW6432, ProgramFiles(x86)
    char program_data[fact_path_size];
    WriteAccess access; // who else may change the current folder, kq2.exe and fkill there
};
void gather_startup_facts(StartupFacts& facts);

// ---- Refused starts, counted across processes ----
// Each refused start is a process of its own, so their events are limited by a count that they
// share with the supervisor holding the folder's lock.

// For the supervisor that took the lock: the count, in memory made for it, owned by its user and
// kept for the process's life; null where none could be made, and where memory of its name was
// there already and is not its user's: foreign is then set.
volatile long* share_refusal_count(bool& foreign);
// For a refused supervisor: adds it to the count of the one holding the lock, atomically, and
// gives the count with it; 0 where there is none or it is not its own user's.
std::uint32_t count_refusal();
// The count, leaving 0 there, atomically.
std::uint32_t take_refusal_count(volatile long* count);

// ---- The Application event log ----

enum class EventType { Error = 1, Warning = 2, Information = 4 };
// Registers the source kq2-supervisor anew, dropping an earlier registration: 0, or the system's
// error code.
std::uint32_t register_event_source();
// One event of the registered source with two strings, the sentence and the current folder's full
// path: 0 when it was written, else the system's error code.
std::uint32_t report_event(EventType type, std::uint32_t id, const char* sentence);
