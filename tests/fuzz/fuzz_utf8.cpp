// The folder name's encoder for any UTF-16 units: its bytes decode back to the very units, so no
// two names share a lock, and the text for readers is valid UTF-8 within three bytes a unit.
#include "watch/utf8.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::uint16_t units[512];
    const std::size_t count = size / 2 < 512 ? size / 2 : 512;
    std::memcpy(units, data, count * 2);
    const Utf16Text text{units, count};

    unsigned char bytes[512 * 3];
    std::size_t used = 0;
    for (std::size_t at = 0; at < count;) {
        char one[4];
        const std::size_t length = utf8_encode(next_code_point(text, at), one);
        std::memcpy(bytes + used, one, length);
        used += length;
    }
    // Back to UTF-16, a surrogate's three bytes as itself.
    std::uint16_t back[512 * 3];
    std::size_t decoded = 0;
    for (std::size_t at = 0; at < used;) {
        const unsigned lead = bytes[at];
        const std::size_t length = lead < 0x80u ? 1 : lead < 0xe0u ? 2 : lead < 0xf0u ? 3 : 4;
        std::uint32_t code = lead & (0xffu >> (length == 1 ? 1 : length + 1));
        for (std::size_t i = 1; i < length && at + i < used; ++i) {
            code = (code << 6) | (bytes[at + i] & 0x3fu);
        }
        at += length;
        if (code >= 0x10000u) {
            back[decoded++] = static_cast<std::uint16_t>(0xd800u + ((code - 0x10000u) >> 10));
            code = 0xdc00u + (code & 0x3ffu);
        }
        back[decoded++] = static_cast<std::uint16_t>(code);
    }
    if (used > count * 3 || decoded != count || std::memcmp(back, units, count * 2) != 0) {
        std::abort();
    }

    char room[512 * 3 + 1];
    TextBuf out = text_buf(room, sizeof room);
    put_utf16(out, text);
    for (std::size_t at = 0; at + 1 < out.size; ++at) {
        // Never a surrogate's form, ED A0 to ED BF.
        if (out.overflow ||
            (room[at] == '\xed' && static_cast<unsigned char>(room[at + 1]) >= 0xa0u)) {
            std::abort();
        }
    }
    return 0;
}
