// Antivirus, indexers, backup and viewers that open a file without write sharing hold it for
// milliseconds; a write that meets such a lock is tried again before it counts as failed. No
// operating system here.
#pragma once

#include <cstdint>

enum class Attempt { Done, Locked, Failed };

// Six attempts with 30 ms between them: about 150 ms in all.
constexpr int lock_attempts = 6;
constexpr std::uint32_t lock_pause_ms = 30;

// True for ERROR_SHARING_VIOLATION and ERROR_LOCK_VIOLATION.
bool is_brief_lock_error(unsigned long code);

// Calls attempt until it is Done or Failed, pausing between attempts that met a lock, at most
// lock_attempts times. True when one was Done.
bool attempt_through_brief_locks(Attempt (*attempt)(void* context), void* context,
                                 void (*pause)(std::uint32_t milliseconds));
