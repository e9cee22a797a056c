#include "platform/key_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

KeyRecord key(std::uint16_t vk, std::uint16_t scan, unsigned char ch, std::uint16_t repeat = 1,
              bool enhanced = false, bool down = true) {
    return KeyRecord{KeyRecordKind::Key, down, repeat, vk, scan, ch, enhanced};
}
const KeyRecord esc = key(0x1b, 0x01, 27);
const KeyRecord shift = key(vk_shift, 0x2a, 0);

// Console input as a script of records; reading past its end would block, which is a fault.
struct KeyInput : ::testing::Test {
    std::vector<KeyRecord> records;
    std::size_t head = 0;
    bool peek_fails = false;
    bool read_fails = false;
    KeyDecoder decoder{}; // zero, as the console keeps it: nothing owed
    KeySource source{peek, take, this};

    static PeekResult peek(void* context, KeyRecord& record) {
        const auto& input = *static_cast<KeyInput*>(context);
        if (input.peek_fails || input.head == input.records.size()) {
            return input.peek_fails ? PeekResult::Failed : PeekResult::Empty;
        }
        record = input.records[input.head];
        return PeekResult::Record;
    }
    static bool take(void* context, KeyRecord& record) {
        auto& input = *static_cast<KeyInput*>(context);
        if (input.read_fails || input.head == input.records.size()) {
            EXPECT_TRUE(input.read_fails) << "read with no input waiting would block";
            return false;
        }
        record = input.records[input.head++];
        return true;
    }
    int read() { return key_decode(decoder, source); }
    // One poll of the watchdog: a code when a key waits, else -2.
    int poll() { return key_poll(source) ? read() : -2; }
};

TEST_F(KeyInput, ReadsSkipWhatDoesNotQualifyAndDecodeEachKindOfKey) {
    const KeyRecord mouse{KeyRecordKind::Other, true, 1, 0x1b, 1, 27, false}; // its fields: ESC
    // Keypad Enter is enhanced but has a character; the keypad's down arrow has neither.
    records = {esc,   key('A', 0x1e, 'a', 3),         key(0x1b, 0x01, 27, 1, false, false),
               mouse, key(0x0d, 0x1c, '\r', 1, true), key(0x28, 0x50, 0, 2)};
    for (const int code : {27, 0x61, 0x61, 0x61, 0, 0x1c, 0, 0x50, 0, 0x50}) {
        EXPECT_EQ(read(), code);
    }
    EXPECT_EQ(head, records.size());
}

TEST_F(KeyInput, PollsDropModifiersAndKeyUpsAndLeaveAKeyPressForTheRead) {
    records = {key(0x26, 0x48, 0, 1, true), shift, key(vk_control, 0x1d, 0), key(vk_alt, 0x38, 0),
               key('A', 0x1e, 'a', 1, false, false)};
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(poll(), -2); // the arrow's scan code is owed, but the poll looks only at the input
    EXPECT_EQ(head, 5u);
    records.push_back(esc);
    EXPECT_EQ(poll(), 0x48);
    EXPECT_EQ(head, 5u); // the poll saw ESC and left it for the next
    EXPECT_EQ(poll(), 27);
}

TEST_F(KeyInput, FailedInputGivesNoKeyAndMinusOne) {
    records = {shift, esc};
    peek_fails = true;
    EXPECT_FALSE(key_poll(source));
    peek_fails = false;
    read_fails = true;
    EXPECT_FALSE(key_poll(source)); // the Shift ahead cannot be removed
    EXPECT_EQ(read(), -1);
}

} // namespace
