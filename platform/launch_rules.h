// How a launch finds the program file: which start failures mean "not found", and the order in
// which a path and its appended extensions are tried. No operating system here.
#pragma once

// True for the system error codes after which the search goes on with the next candidate.
bool is_not_found_error(unsigned long code);

enum class LaunchStepKind {
    Start,         // start the path with the suffix appended; not found goes on
    BatchIfExists, // when the path with the suffix names a file, run it as a batch file
    End            // nothing left: not found
};

struct LaunchStep {
    LaunchStepKind kind;
    const char* suffix; // appended to the whole path; "" for the path unchanged
};

// The steps for path, ended by an End step. The extension is that of the last path component.
const LaunchStep* launch_plan(const char* path);

// True when the last component of path (after "\\", "/" or ":") is lower_name, a name in lower
// case, with ASCII letters compared without regard to case.
bool file_name_is(const char* path, const char* lower_name);

// True when the interpreter's file name is cmd.exe (any case, any folder): it takes /d, which
// skips the AutoRun commands that could hang the loop or move it to another folder.
bool is_cmd_exe(const char* interpreter);
