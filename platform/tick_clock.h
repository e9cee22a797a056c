// The clock in hundredths of a second, kept steady across the wraps of the system's 32-bit
// millisecond counter (every 49.7 days).
#pragma once

#include <cstdint>

struct TickClock {
    std::uint32_t last_ms; // the counter as last read
    std::uint32_t wraps;   // how often it has wrapped since the clock was started
    std::uint64_t base;    // hundredths at start-up
};

// Starts the clock at the counter reading raw_ms: the first tick_clock_read gives 0.
void tick_clock_start(TickClock& clock, std::uint32_t raw_ms);
// Hundredths since the start, modulo 2^32. Must see the counter at least once per wrap.
std::uint32_t tick_clock_read(TickClock& clock, std::uint32_t raw_ms);
