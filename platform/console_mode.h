// The console input modes that keep QuickEdit off while the supervisor runs and give it back at
// the end. No operating system here: the bits are Windows' own values.
#pragma once

#include <cstdint>

constexpr std::uint32_t quick_edit_mode = 0x0040; // ENABLE_QUICK_EDIT_MODE
constexpr std::uint32_t extended_flags = 0x0080;  // ENABLE_EXTENDED_FLAGS

// The mode with QuickEdit off and every other bit kept. Windows changes QuickEdit only when the
// extended flag comes with it.
constexpr std::uint32_t without_quick_edit(std::uint32_t mode) {
    return (mode | extended_flags) & ~quick_edit_mode;
}

// The mode to give back at the end. A start-up mode without the extended flag did not report
// QuickEdit's state, so it is not known and QuickEdit stays off.
constexpr std::uint32_t mode_to_restore(std::uint32_t start_mode) {
    return (start_mode & extended_flags) != 0 ? start_mode : without_quick_edit(start_mode);
}
