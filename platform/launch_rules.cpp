#include "launch_rules.h"

#include <algorithm>
#include <iterator>

namespace {

// ERROR_INVALID_FUNCTION, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
// ERROR_NO_MORE_FILES, ERROR_INVALID_NAME, ERROR_BAD_PATHNAME, ERROR_BAD_EXE_FORMAT,
// ERROR_FILENAME_EXCED_RANGE.
constexpr unsigned long not_found_errors[] = {1, 2, 3, 5, 18, 123, 161, 193, 206};

// A batch file goes to the interpreter when it exists, else it is looked for like any program.
constexpr LaunchStep batch_plan[] = {{LaunchStepKind::BatchIfExists, ""},
                                     {LaunchStepKind::Start, ".com"},
                                     {LaunchStepKind::Start, ".exe"},
                                     {LaunchStepKind::BatchIfExists, ".bat"},
                                     {LaunchStepKind::End, ""}};
// Any other extension is tried as it is first; the appended ones follow it.
constexpr LaunchStep extension_plan[] = {{LaunchStepKind::Start, ""},
                                         {LaunchStepKind::Start, ".com"},
                                         {LaunchStepKind::Start, ".exe"},
                                         {LaunchStepKind::BatchIfExists, ".bat"},
                                         {LaunchStepKind::End, ""}};
// A path without extension is never started bare.
constexpr LaunchStep bare_plan[] = {{LaunchStepKind::Start, ".com"},
                                    {LaunchStepKind::Start, ".exe"},
                                    {LaunchStepKind::BatchIfExists, ".bat"},
                                    {LaunchStepKind::End, ""}};

char lower_case_letter(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The extension of the last path component, its dot included, or null.
const char* extension_of(const char* path) {
    const char* extension = nullptr;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':') {
            extension = nullptr;
        } else if (*p == '.') {
            extension = p;
        }
    }
    return extension;
}

// text equals lower, a lower-case word, without regard to case.
bool equals_lower(const char* text, const char* lower) {
    for (; *lower != '\0'; ++text, ++lower) {
        if (lower_case_letter(*text) != *lower) {
            return false;
        }
    }
    return *text == '\0';
}

bool is_batch_extension(const char* extension) {
    return equals_lower(extension, ".bat");
}

} // namespace

bool is_not_found_error(unsigned long code) {
    return std::find(std::begin(not_found_errors), std::end(not_found_errors), code) !=
           std::end(not_found_errors);
}

const LaunchStep* launch_plan(const char* path) {
    const char* extension = path == nullptr ? nullptr : extension_of(path);
    if (extension == nullptr) {
        return bare_plan;
    }
    return is_batch_extension(extension) ? batch_plan : extension_plan;
}

bool file_name_is(const char* path, const char* lower_name) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':') {
            name = p + 1;
        }
    }
    return equals_lower(name, lower_name);
}

bool is_cmd_exe(const char* interpreter) {
    return file_name_is(interpreter, "cmd.exe");
}
