// Console key input without the console: which input records count as a key press, the
// non-blocking poll, and the decoding of key presses into key codes. The records come from a
// source of two plain functions, so that the same logic runs on the console and over a script.
#pragma once

#include <cstdint>

enum class KeyRecordKind : std::uint8_t { Key, Other };

// The fields of one console input record that key decoding looks at.
struct KeyRecord {
    KeyRecordKind kind; // Other: mouse, focus, window size, menu
    bool key_down;
    std::uint16_t repeat_count;
    std::uint16_t virtual_key;
    std::uint16_t scan_code;
    unsigned char character; // 0 for keys without one
    bool enhanced;           // the enhanced-key flag of the control-key state
};

enum class PeekResult : std::uint8_t { Record, Empty, Failed };

struct KeySource {
    // Copies the record at the head of the input without removing it; never waits.
    PeekResult (*peek)(void* context, KeyRecord& record);
    // Removes the record at the head of the input, waiting for one. False when reading fails.
    bool (*read)(void* context, KeyRecord& record);
    void* context;
};

// The codes of the last key read that are still to be delivered.
struct KeyDecoder {
    int state;               // 0: none; 1: the character again; 2: the scan code next
    std::uint32_t remaining; // deliveries still owed to the key's repeat count
    unsigned char character; // 0 for a key delivered as 0 and its scan code
    std::uint16_t scan_code;
};

constexpr std::uint16_t vk_shift = 16;
constexpr std::uint16_t vk_control = 17;
constexpr std::uint16_t vk_alt = 18;

void key_decoder_reset(KeyDecoder& decoder);
// A key going down that is not Shift, Control or Alt alone.
bool key_record_qualifies(const KeyRecord& record);
// True when a key press is at the head of the input, where it stays; records ahead of it that
// are not key presses are removed. False when the input is empty or cannot be read.
bool key_poll(const KeySource& source);
// The next key code, 0 to 255, reading (and waiting for) a key press only when none is owed.
// -1 when reading fails.
int key_decode(KeyDecoder& decoder, const KeySource& source);
