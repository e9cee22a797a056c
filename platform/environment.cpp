#include "environment.h"

#include <algorithm>
#include <cstring>

namespace {

char upper_case_letter(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The longest element-plus-program that a candidate may hold, separator aside.
constexpr std::size_t candidate_limit = 259;

} // namespace

const char* find_environment_value(const char* block, const char* name) {
    if (block == nullptr || name == nullptr) {
        return nullptr;
    }
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        std::size_t i = 0;
        while (name[i] != '\0' && upper_case_letter(entry[i]) == upper_case_letter(name[i])) {
            ++i;
        }
        if (name[i] == '\0' && entry[i] == '=') {
            return entry + i + 1;
        }
    }
    return nullptr;
}

PathCandidate next_path_candidate(const char** cursor, const char* program, char* out,
                                  std::size_t capacity) {
    const char* element = *cursor;
    // Null once the last element is used: a value ending in ";" still has an empty element after
    // it, so the end of the text alone cannot tell.
    if (element == nullptr) {
        return PathCandidate::NoMore;
    }
    const char* end = std::strchr(element, ';');
    const std::size_t element_length =
        end != nullptr ? static_cast<std::size_t>(end - element) : std::strlen(element);
    *cursor = end != nullptr ? end + 1 : nullptr;

    const std::size_t program_length = std::strlen(program);
    if (program_length > candidate_limit || element_length > candidate_limit - program_length) {
        *cursor = nullptr;
        return PathCandidate::TooLong;
    }
    const bool has_separator = element_length > 0 && element[element_length - 1] == '\\';
    const std::size_t separator_length = has_separator ? 0 : 1;
    if (element_length + separator_length + program_length >= capacity) {
        *cursor = nullptr;
        return PathCandidate::TooLong;
    }
    char* end_of_element = std::copy(element, element + element_length, out);
    if (!has_separator) {
        *end_of_element = '\\';
    }
    std::memcpy(end_of_element + separator_length, program, program_length + 1);
    return PathCandidate::Written;
}
