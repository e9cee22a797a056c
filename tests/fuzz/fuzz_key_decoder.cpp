// The key decoder over any script of input records, polled and read as the watchdog does.
#include "platform/key_decoder.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Script {
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
    std::size_t reads;
};

constexpr std::size_t record_size = 8;

void decode_record(const unsigned char* p, KeyRecord& record) {
    record.kind = (p[0] & 1) != 0 ? KeyRecordKind::Other : KeyRecordKind::Key;
    record.key_down = (p[0] & 2) != 0;
    record.enhanced = (p[0] & 4) != 0;
    record.repeat_count = static_cast<std::uint16_t>(p[1] | (p[2] & 3) << 8);
    record.virtual_key = p[3];
    record.scan_code = static_cast<std::uint16_t>(p[4] | p[5] << 8);
    record.character = p[6];
}

PeekResult peek(void* context, KeyRecord& record) {
    auto* script = static_cast<Script*>(context);
    if (script->at + record_size > script->size) {
        return PeekResult::Empty;
    }
    decode_record(script->data + script->at, record);
    return PeekResult::Record;
}

bool read(void* context, KeyRecord& record) {
    auto* script = static_cast<Script*>(context);
    if (script->at + record_size > script->size) {
        return false;
    }
    decode_record(script->data + script->at, record);
    script->at += record_size;
    ++script->reads;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    Script script{data, size, 0, 0};
    const KeySource source{peek, read, &script};
    KeyDecoder decoder;
    key_decoder_reset(decoder);
    // Bounded: every record can owe at most 2 x 1023 codes.
    for (std::size_t step = 0; step < size * 2048 + 8; ++step) {
        const bool waiting = key_poll(source);
        if (waiting) {
            KeyRecord head;
            if (peek(&script, head) != PeekResult::Record || !key_record_qualifies(head)) {
                std::abort(); // a poll must leave a key press at the head
            }
        }
        if (!waiting && decoder.state == 0) {
            break; // nothing owed, nothing waiting: the script is done
        }
        const int code = key_decode(decoder, source);
        // A key without a character delivers its scan code, a 16-bit field.
        if (code < -1 || code > 0xFFFF || (code == -1 && script.at + record_size <= size)) {
            std::abort();
        }
        if (decoder.state < 0 || decoder.state > 2) {
            std::abort();
        }
    }
    return 0;
}
