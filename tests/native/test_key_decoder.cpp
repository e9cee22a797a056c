#include "platform/key_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Console input as a script of records; reading an empty script would block, which is a fault.
struct Script {
    std::vector<KeyRecord> records;
    std::size_t head = 0;
    bool peek_fails = false;
    bool read_fails = false;
};

PeekResult script_peek(void* context, KeyRecord& record) {
    auto* script = static_cast<Script*>(context);
    if (script->peek_fails) {
        return PeekResult::Failed;
    }
    if (script->head == script->records.size()) {
        return PeekResult::Empty;
    }
    record = script->records[script->head];
    return PeekResult::Record;
}

bool script_read(void* context, KeyRecord& record) {
    auto* script = static_cast<Script*>(context);
    if (script->read_fails) {
        return false;
    }
    if (script->head == script->records.size()) {
        ADD_FAILURE() << "read with no input waiting would block";
        return false;
    }
    record = script->records[script->head++];
    return true;
}

KeyRecord key(std::uint16_t vk, std::uint16_t scan, unsigned char ch, std::uint16_t repeat = 1,
              bool enhanced = false, bool down = true) {
    return KeyRecord{KeyRecordKind::Key, down, repeat, vk, scan, ch, enhanced};
}
KeyRecord up(KeyRecord record) {
    record.key_down = false;
    return record;
}
// Not a key event, though its key fields would make ESC.
const KeyRecord mouse{KeyRecordKind::Other, true, 1, 0x1b, 1, 27, false};
const KeyRecord esc = key(0x1b, 0x01, 27);
const KeyRecord up_arrow = key(0x26, 0x48, 0, 1, true);
const KeyRecord shift = key(vk_shift, 0x2a, 0);

struct KeyInput : ::testing::Test {
    Script script;
    KeyDecoder decoder{};
    KeySource source{script_peek, script_read, &script};

    void SetUp() override { key_decoder_reset(decoder); }
    bool available() { return key_poll(source); }
    int read() { return key_decode(decoder, source); }
    // One poll of the watchdog: a code when a key waits, else -2.
    int poll() { return available() ? read() : -2; }
    void expect_codes(const std::vector<int>& codes) {
        for (const int code : codes) {
            EXPECT_EQ(read(), code);
        }
        EXPECT_EQ(script.head, script.records.size());
    }
};

TEST_F(KeyInput, CodesOfEachKindOfKey) {
    script.records = {esc,
                      key('A', 0x1e, 'a', 3),
                      up_arrow,
                      key(0x70, 0x3b, 0),
                      key(0x0d, 0x1c, '\r', 1, true),
                      key(0xde, 0x28, 0xe4),
                      up(esc),
                      mouse,
                      shift,
                      key(0x28, 0x50, 0, 2, true),
                      key('B', 0x30, 'b', 0)};
    // ESC; a held key; an arrow (enhanced); F1 (no character); keypad Enter (enhanced with a
    // character); a character above 127; what does not qualify is skipped; a held arrow; a
    // repeat count of 0 (only from injected input) counts as one press.
    expect_codes({27, 'a', 'a', 'a', 0, 0x48, 0, 0x3b, 0, 0x1c, 0xe4, 0, 0x50, 0, 0x50, 'b'});
}

TEST_F(KeyInput, PollConsumesWhatDoesNotQualifyAndLeavesAKeyPress) {
    script.records = {
        shift, key(vk_control, 0x1d, 0), key(vk_alt, 0x38, 0), up(shift), up(up_arrow), mouse};
    EXPECT_FALSE(available());
    EXPECT_EQ(script.head, script.records.size());
    script.records.insert(script.records.end(), {shift, esc, up(esc)});
    EXPECT_TRUE(available());
    EXPECT_TRUE(available()); // asking again neither consumes nor skips it
    EXPECT_EQ(script.head, script.records.size() - 2);
    EXPECT_EQ(read(), 27);
    EXPECT_FALSE(available());
}

TEST_F(KeyInput, EscAfterAnArrowEndsOnALaterPoll) {
    script.records = {up_arrow, up(up_arrow)};
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(poll(), -2); // the scan code is owed, but the poll looks only at the input
    script.records.insert(script.records.end(), {esc, up(esc)});
    EXPECT_EQ(poll(), 0x48);
    EXPECT_EQ(poll(), 27);
}

TEST_F(KeyInput, FailedReadsGiveMinusOneButOwedCodesNeedNoRead) {
    script.records = {shift, key(0x26, 0x48, 0, 2, true)};
    script.peek_fails = true;
    EXPECT_FALSE(available());
    script.peek_fails = false;
    script.read_fails = true;
    EXPECT_FALSE(available()); // the modifier ahead cannot be removed
    EXPECT_EQ(read(), -1);
    script.read_fails = false;
    EXPECT_EQ(read(), 0);
    script.read_fails = true;
    EXPECT_EQ(read(), 0x48);
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(read(), 0x48);
    EXPECT_EQ(read(), -1);
}

} // namespace
