#include "folder_lock.h"

#include <cstring>

void normalise_folder_path(char* path) {
    std::size_t length = std::strlen(path);
    // "C:\" keeps its backslash: "C:" alone would name the drive's current folder.
    const bool drive = length >= 2 && path[1] == ':';
    const std::size_t keep = drive ? 3 : 1;
    while (length > keep && path[length - 1] == '\\') {
        path[--length] = '\0';
    }
    // ASCII only: no user32 for the code page's own letters.
    for (char* c = path; *c != '\0'; ++c) {
        if (*c >= 'a' && *c <= 'z') {
            *c = static_cast<char>(*c - 'a' + 'A');
        }
    }
}

std::uint64_t fnv1a_64(const char* text) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char* c = text; *c != '\0'; ++c) {
        hash ^= static_cast<unsigned char>(*c);
        hash *= 0x100000001b3u;
    }
    return hash;
}

void folder_lock_name(const char* normalised, bool global, char (&out)[folder_lock_name_size]) {
    const char* prefix = global ? "Global\\kq2-supervisor-" : "Local\\kq2-supervisor-";
    const std::size_t length = std::strlen(prefix);
    std::memcpy(out, prefix, length);
    const std::uint64_t hash = fnv1a_64(normalised);
    for (std::size_t i = 0; i < 16; ++i) {
        out[length + i] = "0123456789abcdef"[(hash >> (60 - 4 * i)) & 0xfu];
    }
    out[length + 16] = '\0';
}
