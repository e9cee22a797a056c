// The console modes around QuickEdit and the retry of a write that meets a brief lock.
#include "platform/brief_lock.h"
#include "platform/console_mode.h"

#include <gtest/gtest.h>

namespace {

TEST(ConsoleMode, QuickEditGoesOffAndComesBackOnlyWhenItsStateWasKnown) {
    EXPECT_EQ(without_quick_edit(0x1f7), 0x1b7u); // Wine's default: the other bits kept
    EXPECT_EQ(without_quick_edit(0x07), 0x87u);
    EXPECT_EQ(mode_to_restore(0x1f7), 0x1f7u);
    EXPECT_EQ(mode_to_restore(0xb7), 0xb7u); // known to have been off
    EXPECT_EQ(mode_to_restore(0x47), 0x87u); // without the extended flag: unknown, stays off
}

struct Script {
    int locks;    // attempts that meet a lock first
    Attempt then; // what the attempts after them give
    int pauses;
};

TEST(BriefLock, LockedWritesAreTriedAgainForAboutOneHundredFiftyMilliseconds) {
    static Script script;
    static int attempts;
    static int paused_ms;
    const auto attempt = [](void*) {
        return attempts++ < script.locks ? Attempt::Locked : script.then;
    };
    const auto pause = [](std::uint32_t ms) { paused_ms += static_cast<int>(ms); };
    const struct {
        Script script;
        bool done;
    } cases[] = {{{0, Attempt::Done, 0}, true},
                 {{5, Attempt::Done, 5}, true},
                 {{6, Attempt::Done, 5}, false},
                 {{0, Attempt::Failed, 0}, false},
                 {{2, Attempt::Failed, 2}, false}};
    for (const auto& c : cases) {
        script = c.script;
        attempts = 0;
        paused_ms = 0;
        EXPECT_EQ(attempt_through_brief_locks(attempt, nullptr, pause), c.done) << c.script.locks;
        EXPECT_EQ(paused_ms, c.script.pauses * 30) << c.script.locks;
    }
    EXPECT_TRUE(is_brief_lock_error(32) && is_brief_lock_error(33) && !is_brief_lock_error(5));
}

} // namespace
