#include "utf8.h"

static bool high_surrogate(std::uint32_t unit) {
    return unit >= 0xd800u && unit < 0xdc00u;
}

static bool low_surrogate(std::uint32_t unit) {
    return unit >= 0xdc00u && unit < 0xe000u;
}

bool is_surrogate(std::uint32_t code) {
    return high_surrogate(code) || low_surrogate(code);
}

std::uint32_t next_code_point(Utf16Text text, std::size_t& at) {
    const std::uint32_t unit = text.units[at++];
    if (high_surrogate(unit) && at < text.size && low_surrogate(text.units[at])) {
        return 0x10000u + ((unit - 0xd800u) << 10) + (text.units[at++] - 0xdc00u);
    }
    return unit;
}

std::size_t utf8_encode(std::uint32_t code, char (&out)[4]) {
    if (code < 0x80u) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    // Lead byte, then six bits a byte from the top.
    const std::size_t size = code < 0x800u ? 2 : code < 0x10000u ? 3 : 4;
    const unsigned lead[] = {0, 0, 0xc0u, 0xe0u, 0xf0u};
    out[0] = static_cast<char>(lead[size] | (code >> (6 * (size - 1))));
    for (std::size_t i = 1; i < size; ++i) {
        out[i] = static_cast<char>(0x80u | ((code >> (6 * (size - 1 - i))) & 0x3fu));
    }
    return size;
}

void put_utf8(TextBuf& out, std::uint32_t code) {
    char bytes[4];
    const std::size_t size = utf8_encode(is_surrogate(code) ? 0xfffdu : code, bytes);
    for (std::size_t i = 0; i < size; ++i) {
        put_char(out, bytes[i]);
    }
}

void put_utf16(TextBuf& out, Utf16Text text) {
    for (std::size_t at = 0; at < text.size;) {
        put_utf8(out, next_code_point(text, at));
    }
}
