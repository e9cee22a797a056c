#include "brief_lock.h"

bool is_brief_lock_error(unsigned long code) {
    return code == 32 || code == 33;
}

bool attempt_through_brief_locks(Attempt (*attempt)(void* context), void* context,
                                 void (*pause)(std::uint32_t milliseconds)) {
    for (int i = 1;; ++i) {
        const Attempt result = attempt(context);
        if (result != Attempt::Locked || i == lock_attempts) {
            return result == Attempt::Done;
        }
        pause(lock_pause_ms);
    }
}
