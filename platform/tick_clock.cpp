#include "tick_clock.h"

void tick_clock_start(TickClock& clock, std::uint32_t raw_ms) {
    clock.last_ms = raw_ms;
    clock.wraps = 0;
    clock.base = raw_ms / 10;
}

std::uint32_t tick_clock_read(TickClock& clock, std::uint32_t raw_ms) {
    if (raw_ms < clock.last_ms) {
        ++clock.wraps;
    }
    clock.last_ms = raw_ms;
    // Dividing the extended count, not the raw one, keeps the hundredths steady at a wrap.
    const std::uint64_t ms = (static_cast<std::uint64_t>(clock.wraps) << 32) | raw_ms;
    return static_cast<std::uint32_t>(ms / 10 - clock.base);
}
