// UTF-16 text as UTF-8, code point by code point. No operating system here.
#pragma once

#include "text_buf.h"

#include <cstddef>
#include <cstdint>

// UTF-16 code units, as the system's wide calls give them.
struct Utf16Text {
    const std::uint16_t* units;
    std::size_t size;
};

// The code point that starts at text.units[at], at moved past it. A surrogate without its partner
// comes back as itself: a file name may hold one.
std::uint32_t next_code_point(Utf16Text text, std::size_t& at);
bool is_surrogate(std::uint32_t code);
// The code point's UTF-8 bytes, a surrogate in its three-byte form; how many (1 to 4).
std::size_t utf8_encode(std::uint32_t code, char (&out)[4]);
// Valid UTF-8 for readers of text: a lone surrogate as U+FFFD.
void put_utf8(TextBuf& out, std::uint32_t code);
void put_utf16(TextBuf& out, Utf16Text text);
