// Command lines as texts: the supervisor's own split rule, and the unquoted join used for every
// launch. No operating system here.
#pragma once

#include <cstddef>

// The longest command line the system accepts, its terminating zero included.
constexpr std::size_t command_line_capacity = 32767;

// The argument text of a raw process command line: the program name and the white space after
// it skipped.
const char* skip_program_name(const char* line);

// What splitting an argument text needs: the number of arguments, and the bytes that hold them,
// each with its terminating zero.
struct SplitSize {
    std::size_t arguments;
    std::size_t bytes;
};
SplitSize measure_arguments(const char* text);
// Splits text into args[0..n-1], their characters stored in bytes; args[n] is set to null. The
// room must be at least what measure_arguments gave (n + 1 pointers, the bytes).
void split_arguments(const char* text, char* bytes, char** args);

// Writes heads[0..head_count-1], each followed by a blank, then argv[1..] separated by blanks,
// into out. Nothing is quoted; argv[0] never appears. False, with out left an empty text, when the
// line needs more than capacity bytes (its zero included).
bool build_command_line(char* out, std::size_t capacity, const char* const* heads,
                        std::size_t head_count, const char* const* argv);
// The command line of a launch: path, a blank, then argv[1..] separated by blanks.
bool join_command_line(char* out, std::size_t capacity, const char* path, const char* const* argv);
