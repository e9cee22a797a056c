#include "folder_lock.h"

#include "text_buf.h"

#include <cstring>

namespace {

constexpr std::uint64_t fnv_basis = 0xcbf29ce484222325u;

std::uint64_t fnv_step(std::uint64_t hash, char byte) {
    return (hash ^ static_cast<unsigned char>(byte)) * 0x100000001b3u;
}

void name_from_hash(std::uint64_t hash, bool global, char (&out)[folder_lock_name_size]) {
    const char* prefix = global ? "Global\\kq2-supervisor-" : "Local\\kq2-supervisor-";
    const std::size_t length = std::strlen(prefix);
    std::memcpy(out, prefix, length);
    for (std::size_t i = 0; i < 16; ++i) {
        out[length + i] = "0123456789abcdef"[(hash >> (60 - 4 * i)) & 0xfu];
    }
    out[length + 16] = '\0';
}

} // namespace

std::size_t trimmed_folder_size(Utf16Text path) {
    std::size_t size = path.size;
    // "C:\" keeps its backslash: "C:" alone would name the drive's current folder.
    const std::size_t keep = size >= 2 && path.units[1] == ':' ? 3 : 1;
    while (size > keep && path.units[size - 1] == '\\') {
        --size;
    }
    return size;
}

std::uint64_t fnv1a_64(Utf16Text text) {
    // Hashed while encoded: no buffer to size for three bytes a unit.
    std::uint64_t hash = fnv_basis;
    for (std::size_t at = 0; at < text.size;) {
        char bytes[4];
        const std::size_t size = utf8_encode(next_code_point(text, at), bytes);
        for (std::size_t i = 0; i < size; ++i) {
            hash = fnv_step(hash, bytes[i]);
        }
    }
    return hash;
}

void folder_lock_name(Utf16Text identity, bool global, char (&out)[folder_lock_name_size]) {
    name_from_hash(fnv1a_64(identity), global, out);
}

void refusal_count_name(const char* lock_name, char (&out)[refusal_count_name_size]) {
    TextBuf w = text_buf(out, sizeof out);
    put_text(w, lock_name);
    put_text(w, "-refused");
}

void normalise_folder_path(char* path) {
    std::size_t length = std::strlen(path);
    const bool drive = length >= 2 && path[1] == ':';
    const std::size_t keep = drive ? 3 : 1;
    while (length > keep && path[length - 1] == '\\') {
        path[--length] = '\0';
    }
    for (char* c = path; *c != '\0'; ++c) {
        if (*c >= 'a' && *c <= 'z') {
            *c = static_cast<char>(*c - 'a' + 'A');
        }
    }
}

std::uint64_t fnv1a_64(const char* text) {
    std::uint64_t hash = fnv_basis;
    for (const char* c = text; *c != '\0'; ++c) {
        hash = fnv_step(hash, *c);
    }
    return hash;
}

void folder_lock_name(const char* normalised, bool global, char (&out)[folder_lock_name_size]) {
    name_from_hash(fnv1a_64(normalised), global, out);
}

bool ansi_conversion_takes_flags(unsigned code_page) {
    return code_page != 65001 && code_page != 65000;
}

bool ansi_name_exact(bool converted, bool used_default, Utf16Text name, Utf16Text back) {
    return converted && !used_default && name.size == back.size &&
           std::memcmp(name.units, back.units, name.size * sizeof name.units[0]) == 0;
}
