#include "text_mode.h"

void text_buffer_open(TextBuffer& buffer, TextSink sink, void* context) {
    buffer.used = 0;
    buffer.sink = sink;
    buffer.context = context;
    buffer.failed = false;
}

static void hand_over(TextBuffer& buffer) {
    if (buffer.used != 0 && !buffer.sink(buffer.context, buffer.data, buffer.used)) {
        buffer.failed = true;
    }
    buffer.used = 0;
}

static void put_byte(TextBuffer& buffer, char byte) {
    if (buffer.used == TextBuffer::capacity) {
        hand_over(buffer);
    }
    buffer.data[buffer.used++] = byte;
}

void text_buffer_put(TextBuffer& buffer, const char* text, bool flush_at_line_end) {
    for (; *text != '\0'; ++text) {
        if (*text == '\n') {
            put_byte(buffer, '\r');
        }
        put_byte(buffer, *text);
        if (*text == '\n' && flush_at_line_end) {
            hand_over(buffer);
        }
    }
}

bool text_buffer_flush(TextBuffer& buffer) {
    hand_over(buffer);
    return !buffer.failed;
}
