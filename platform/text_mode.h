// Text-mode output: a CR is stored before every LF, collected in a fixed buffer that is handed to
// a sink whenever it fills and when it is flushed.
#pragma once

#include <cstddef>

using TextSink = bool (*)(void* context, const char* data, std::size_t size);

struct TextBuffer {
    static constexpr std::size_t capacity = 4096;
    char data[capacity];
    std::size_t used;
    TextSink sink;
    void* context;
    bool failed; // a sink call failed since the buffer was opened
};

void text_buffer_open(TextBuffer& buffer, TextSink sink, void* context);
// Adds text; with flush_at_line_end, hands the buffer over after every LF (line buffering).
void text_buffer_put(TextBuffer& buffer, const char* text, bool flush_at_line_end);
// Hands over what is left. True when every hand-over since the open succeeded.
bool text_buffer_flush(TextBuffer& buffer);
