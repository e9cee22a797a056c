#include "key_decoder.h"

void key_decoder_reset(KeyDecoder& decoder) {
    decoder.state = 0;
    decoder.remaining = 0;
    decoder.character = 0;
    decoder.scan_code = 0;
}

bool key_record_qualifies(const KeyRecord& record) {
    if (record.kind != KeyRecordKind::Key || !record.key_down) {
        return false;
    }
    return record.virtual_key != vk_shift && record.virtual_key != vk_control &&
           record.virtual_key != vk_alt;
}

bool key_poll(const KeySource& source) {
    KeyRecord record{};
    for (;;) {
        const PeekResult head = source.peek(source.context, record);
        if (head != PeekResult::Record) {
            return false;
        }
        if (key_record_qualifies(record)) {
            return true;
        }
        if (!source.read(source.context, record)) {
            return false;
        }
    }
}

// State 0: waits for the next key press and delivers its first code.
static int decode_new_key(KeyDecoder& decoder, const KeySource& source) {
    KeyRecord record{};
    do {
        if (!source.read(source.context, record)) {
            return -1;
        }
    } while (!key_record_qualifies(record));
    // A count of 0 only comes from injected input; it still stands for one press.
    decoder.remaining = record.repeat_count == 0 ? 0u : record.repeat_count - 1u;
    decoder.character = record.character;
    decoder.scan_code = record.scan_code;
    if (record.enhanced || record.character == 0) {
        decoder.character = 0;
        decoder.state = 2;
        return 0;
    }
    if (decoder.remaining != 0) {
        decoder.state = 1;
    }
    return decoder.character;
}

int key_decode(KeyDecoder& decoder, const KeySource& source) {
    switch (decoder.state) {
    case 1:
        --decoder.remaining;
        if (decoder.character == 0) {
            decoder.state = 2;
        } else if (decoder.remaining == 0) {
            decoder.state = 0;
        }
        return decoder.character;
    case 2:
        decoder.state = decoder.remaining != 0 ? 1 : 0;
        return decoder.scan_code;
    default:
        return decode_new_key(decoder, source);
    }
}
