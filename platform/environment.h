// Reading an environment block, and the candidates of a search along PATH. No operating system
// here.
#pragma once

#include <cstddef>

// The value of the first entry of block named name, or null. The block holds entries
// "name=value", each ended by a zero byte, and one more zero byte after the last. Letters A to Z
// match without regard to case, every other byte exactly; an empty value is a value.
const char* find_environment_value(const char* block, const char* name);

enum class PathCandidate { Written, NoMore, TooLong };

// Writes into out the candidate for the next element of a PATH value: the element, a backslash
// unless the element already ends in one, then program. *cursor starts at the value and is moved
// past the element. TooLong when the element is longer than 259 less program's length (or the
// candidate would not fit in capacity): the search ends there. NoMore once every element is used.
PathCandidate next_path_candidate(const char** cursor, const char* program, char* out,
                                  std::size_t capacity);
