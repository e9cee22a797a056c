// The key decoder over any script of 8-byte input records, polled and read as the watchdog does.
#include "platform/key_decoder.h"

#include <cstdlib>

namespace {

struct Script {
    const unsigned char* at;
    const unsigned char* end;
};

PeekResult peek(void* context, KeyRecord& record) {
    const Script& script = *static_cast<Script*>(context);
    if (script.end - script.at < 8) {
        return PeekResult::Empty;
    }
    const unsigned char* p = script.at;
    using u16 = std::uint16_t;
    const auto kind = (p[0] & 1) != 0 ? KeyRecordKind::Other : KeyRecordKind::Key;
    record =
        KeyRecord{kind, (p[0] & 2) != 0, u16(p[1] | (p[2] & 3) << 8), p[3], u16(p[4] | p[5] << 8),
                  p[6], (p[0] & 4) != 0};
    return PeekResult::Record;
}

bool read(void* context, KeyRecord& record) {
    const bool got = peek(context, record) == PeekResult::Record;
    static_cast<Script*>(context)->at += got ? 8 : 0;
    return got;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    Script script{data, data + size};
    const KeySource source{peek, read, &script};
    KeyDecoder decoder;
    key_decoder_reset(decoder);
    // A record owes at most 2 x 1023 codes: more steps mean the decoder never finishes.
    for (std::size_t step = 0; step < size * 256 + 8; ++step) {
        // The poll leaves a key press at the head, or else has removed everything.
        const bool waiting = key_poll(source);
        KeyRecord head;
        const bool any = peek(&script, head) == PeekResult::Record;
        if (waiting ? !any || !key_record_qualifies(head) : any) {
            std::abort();
        }
        const bool owed = decoder.state != 0;
        // Characters or scan codes (16 bits); -1 only when nothing waits and nothing is owed.
        const int code = key_decode(decoder, source);
        if (code < -1 || code > 0xFFFF || (code == -1) == (waiting || owed)) {
            std::abort();
        }
        if (code == -1) {
            return 0;
        }
    }
    std::abort();
}
