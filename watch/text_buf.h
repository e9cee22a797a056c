// Texts built into a fixed buffer: what does not fit is cut and marked, never written past the end.
#pragma once

#include <cstddef>
#include <cstdint>

struct TextBuf {
    char* data;
    std::size_t capacity; // the buffer's bytes, its zero included
    std::size_t size;
    bool overflow;
};

TextBuf text_buf(char* data, std::size_t capacity);
void put_char(TextBuf& out, char c);
void put_text(TextBuf& out, const char* text);
// A line end, kept even where the text before it was cut: it takes the last character's place.
void put_line_end(TextBuf& out);
void put_unsigned(TextBuf& out, std::uint64_t value);
void put_signed(TextBuf& out, std::int64_t value);
// ": " and a system's error text, cut to room characters, its line ends and tabs as blanks and its
// trailing blanks dropped; nothing for a null or blank text.
void put_system_text(TextBuf& out, const char* text, std::size_t room);
