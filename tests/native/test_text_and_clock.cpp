#include "platform/brief_lock.h"
#include "platform/text_mode.h"
#include "platform/tick_clock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Sink {
    std::vector<std::string> chunks;
    bool fail = false;
};

bool collect(void* context, const char* data, std::size_t size) {
    auto* sink = static_cast<Sink*>(context);
    sink->chunks.emplace_back(data, size);
    return !sink->fail;
}

std::string joined(const Sink& sink) {
    std::string all;
    for (const std::string& c : sink.chunks) {
        all += c;
    }
    return all;
}

TEST(TextMode, StoresCrBeforeEveryLfOnly) {
    Sink sink;
    TextBuffer buffer;
    text_buffer_open(buffer, collect, &sink);
    text_buffer_put(buffer, "a\nb\n", false);
    text_buffer_put(buffer, "x\r\n", false);
    text_buffer_put(buffer, "\t\x7f\xff", false);
    EXPECT_TRUE(text_buffer_flush(buffer));
    EXPECT_EQ(joined(sink), "a\r\nb\r\nx\r\r\n\t\x7f\xff");
    EXPECT_EQ(sink.chunks.size(), 1u); // a short text goes out in one piece, at the flush
}

TEST(TextMode, LongTextIsHandedOverInFullBuffers) {
    Sink sink;
    TextBuffer buffer;
    text_buffer_open(buffer, collect, &sink);
    std::string text(TextBuffer::capacity - 1, 'y');
    text += "\n\n"; // the CR of the first LF is the buffer's last byte
    text += std::string(5000, 'z');
    text_buffer_put(buffer, text.c_str(), false);
    text_buffer_flush(buffer);
    std::string expected(TextBuffer::capacity - 1, 'y');
    expected += "\r\n\r\n" + std::string(5000, 'z');
    EXPECT_EQ(joined(sink), expected);
    ASSERT_EQ(sink.chunks.size(), 3u);
    EXPECT_EQ(sink.chunks[0].size(), TextBuffer::capacity);
    EXPECT_EQ(sink.chunks[1].size(), TextBuffer::capacity);
}

TEST(TextMode, LineBufferingHandsOverEachLineAndReportsFailure) {
    Sink sink;
    sink.fail = true;
    TextBuffer buffer;
    text_buffer_open(buffer, collect, &sink);
    text_buffer_put(buffer, "one\ntwo\nrest", true);
    ASSERT_EQ(sink.chunks.size(), 2u);
    EXPECT_EQ(sink.chunks[1], "two\r\n");
    EXPECT_FALSE(text_buffer_flush(buffer));
    EXPECT_EQ(sink.chunks.back(), "rest");
}

TEST(TickClock, CountsHundredthsFromTheStart) {
    TickClock clock;
    tick_clock_start(clock, 123457);
    EXPECT_EQ(tick_clock_read(clock, 123457), 0u);
    EXPECT_EQ(tick_clock_read(clock, 124457), 100u);
}

TEST(TickClock, StaysSteadyAcrossCounterWraps) {
    // Started 10 s before the wrap: readings go on rising by 1 every 10 ms through it.
    TickClock clock;
    const std::uint32_t start = 0xFFFFFFFFu - 9999u;
    tick_clock_start(clock, start);
    std::uint32_t before = tick_clock_read(clock, 0xFFFFFFFAu);
    std::uint32_t after = tick_clock_read(clock, 4u);
    EXPECT_LE(after - before, 1u);
    EXPECT_NEAR(after, 1000.0, 1.0);

    // Three more wraps, read once a minute.
    std::uint32_t ms = 4;
    std::uint32_t last = after;
    for (int step = 0; step < 3 * 71583; ++step) {
        ms += 60000;
        const std::uint32_t now = tick_clock_read(clock, ms);
        ASSERT_EQ(now - last, 6000u) << "step " << step;
        last = now;
    }
    EXPECT_EQ(clock.wraps, 4u); // the first one and three more
}

TEST(BriefLock, LockedAttemptsAreRetriedSixTimesThirtyMillisecondsApart) {
    static int locks; // attempts that still meet the lock
    for (const int held : {0, 5, 6}) {
        locks = held;
        const auto attempt = [](void*) { return locks-- > 0 ? Attempt::Locked : Attempt::Done; };
        const auto pause = [](std::uint32_t ms) { EXPECT_EQ(ms, 30u); };
        EXPECT_EQ(attempt_through_brief_locks(attempt, nullptr, pause), held < 6) << held;
        EXPECT_EQ(locks, held < 6 ? -1 : 0) << held; // every attempt made, the sixth the last
    }
}

} // namespace
