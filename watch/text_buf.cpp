#include "text_buf.h"

TextBuf text_buf(char* data, std::size_t capacity) {
    TextBuf out{data, capacity, 0, false};
    data[0] = '\0';
    return out;
}

void put_char(TextBuf& out, char c) {
    if (out.size + 1 >= out.capacity) {
        out.overflow = true;
        return;
    }
    out.data[out.size++] = c;
    out.data[out.size] = '\0';
}

void put_text(TextBuf& out, const char* text) {
    for (; *text != '\0'; ++text) {
        put_char(out, *text);
    }
}

void put_line_end(TextBuf& out) {
    if (out.size != 0 && out.size + 1 >= out.capacity) {
        out.overflow = true;
        --out.size;
    }
    put_char(out, '\n');
}

// Digit by digit, each by subtracting its power of ten: a 64-bit division would link libgcc's
// helpers, some 750 bytes, into each 32-bit program.
void put_unsigned(TextBuf& out, std::uint64_t value) {
    int digits = 1;
    for (std::uint64_t power = 10; digits < 20 && power <= value; power *= 10) {
        ++digits;
    }
    while (digits-- > 0) {
        std::uint64_t power = 1;
        for (int k = 0; k < digits; ++k) {
            power *= 10;
        }
        char digit = '0';
        for (; value >= power; value -= power) {
            ++digit;
        }
        put_char(out, digit);
    }
}

void put_signed(TextBuf& out, std::int64_t value) {
    if (value < 0) {
        put_char(out, '-');
        // In unsigned arithmetic, so that the smallest value needs no special case.
        put_unsigned(out, 0u - static_cast<std::uint64_t>(value));
    } else {
        put_unsigned(out, static_cast<std::uint64_t>(value));
    }
}

void put_system_text(TextBuf& out, const char* text, std::size_t room) {
    const std::size_t start = out.size;
    put_text(out, ": ");
    const std::size_t body = out.size;
    std::size_t kept = body; // the size without trailing blanks
    for (std::size_t n = 0; text != nullptr && text[n] != '\0' && n < room; ++n) {
        const char c = text[n];
        const char shown = c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
        put_char(out, shown);
        if (shown != ' ') {
            kept = out.size;
        }
    }
    out.size = kept == body ? start : kept;
    out.data[out.size] = '\0';
}
