#include "command_line.h"

#include <cstring>

namespace {

// Arguments are separated by blanks and tabs only.
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The program name ends at any white character.
bool is_white(char c) {
    return is_blank(c) || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A backslash directly before a double quote makes the quote an ordinary character; every other
// backslash stays as it is.
bool escaped_quote(const char* p) {
    return p[0] == '\\' && p[1] == '"';
}

// Reads one argument starting at p (neither a blank nor the end). Its characters go to out when
// out is not null; *length receives how many there are. Returns where the next argument may begin.
const char* scan_argument(const char* p, char* out, std::size_t* length) {
    std::size_t n = 0;
    const auto put = [&](char c) {
        if (out != nullptr) {
            out[n] = c;
        }
        ++n;
    };
    if (*p == '"') {
        // Quoted: runs to the closing quote, which is dropped; whatever follows it starts the
        // next argument.
        ++p;
        while (*p != '\0') {
            if (escaped_quote(p)) {
                put('"');
                p += 2;
            } else if (*p == '"') {
                ++p;
                break;
            } else {
                put(*p++);
            }
        }
    } else {
        // Unquoted: a pair of quotes inside it encloses a stretch where blanks belong to it.
        bool in_stretch = false;
        while (*p != '\0' && (in_stretch || !is_blank(*p))) {
            if (escaped_quote(p)) {
                put('"');
                p += 2;
            } else if (*p == '"') {
                in_stretch = !in_stretch;
                ++p;
            } else {
                put(*p++);
            }
        }
    }
    *length = n;
    return p;
}

const char* skip_blanks(const char* p) {
    while (is_blank(*p)) {
        ++p;
    }
    return p;
}

} // namespace

const char* skip_program_name(const char* line) {
    if (line == nullptr) {
        return "";
    }
    if (*line == '"') {
        ++line;
        while (*line != '\0' && *line != '"') {
            ++line;
        }
        if (*line == '"') {
            ++line;
        }
    } else {
        while (*line != '\0' && !is_white(*line)) {
            ++line;
        }
    }
    while (is_white(*line)) {
        ++line;
    }
    return line;
}

SplitSize measure_arguments(const char* text) {
    SplitSize size{0, 0};
    const char* p = text == nullptr ? "" : skip_blanks(text);
    while (*p != '\0') {
        std::size_t length = 0;
        p = skip_blanks(scan_argument(p, nullptr, &length));
        ++size.arguments;
        size.bytes += length + 1;
    }
    return size;
}

void split_arguments(const char* text, char* bytes, char** args) {
    std::size_t count = 0;
    const char* p = text == nullptr ? "" : skip_blanks(text);
    while (*p != '\0') {
        std::size_t length = 0;
        p = skip_blanks(scan_argument(p, bytes, &length));
        bytes[length] = '\0';
        args[count++] = bytes;
        bytes += length + 1;
    }
    args[count] = nullptr;
}

bool build_command_line(char* out, std::size_t capacity, const char* const* heads,
                        std::size_t head_count, const char* const* argv) {
    if (capacity == 0) {
        return false;
    }
    std::size_t used = 0;
    // Keeps one byte for the terminating zero.
    const auto append = [&](const char* text, std::size_t length) {
        if (length >= capacity - used) {
            return false;
        }
        std::memcpy(out + used, text, length);
        used += length;
        return true;
    };
    bool fits = true;
    for (std::size_t i = 0; fits && i < head_count; ++i) {
        fits = append(heads[i], std::strlen(heads[i])) && append(" ", 1);
    }
    if (argv != nullptr && argv[0] != nullptr) {
        for (const char* const* arg = argv + 1; fits && *arg != nullptr; ++arg) {
            fits = (arg == argv + 1 || append(" ", 1)) && append(*arg, std::strlen(*arg));
        }
    }
    out[fits ? used : 0] = '\0';
    return fits;
}

bool join_command_line(char* out, std::size_t capacity, const char* path, const char* const* argv) {
    const char* const heads[] = {path};
    return build_command_line(out, capacity, heads, 1, argv);
}
