// The named mutex that lets one supervisor at a time watch a folder.
#include "../../watch/folder_lock.h"
#include "../platform.h"
#include "folder_path.h"

#include <windows.h>

namespace {

enum class Attempt { Created, Exists, Refused, Failed };

Attempt create_lock(const char* name) {
    SetLastError(ERROR_SUCCESS);
    // No security attributes: the handle is not inherited, so a worker that outlives the
    // supervisor does not keep the folder locked.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        return error == ERROR_ACCESS_DENIED ? Attempt::Refused : Attempt::Failed;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return Attempt::Exists;
    }
    return Attempt::Created; // held until the process ends
}

// The wide name's namespaces, the one where the lock was taken or found first, for the shared
// count beside it.
char g_names[2][folder_lock_name_size];

// The shared count beside the lock, made or opened where the lock's namespace allows; null where
// there is none. A global section needs SeCreateGlobalPrivilege, which a mutex does not: a
// supervisor without it shares the count in its session's namespace.
volatile long* shared_count(bool make) {
    for (const char* lock_name : g_names) {
        if (lock_name[0] == '\0') {
            continue;
        }
        char name[refusal_count_name_size] = {};
        refusal_count_name(lock_name, name); // ASCII, as the lock's
        // The page file's memory starts at 0. No security attributes: not inherited.
        HANDLE section = make ? CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                   sizeof(long), name)
                              : OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
        void* view = section == nullptr
                         ? nullptr
                         : MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(long));
        if (view != nullptr) {
            return static_cast<volatile long*>(view); // held until the process ends
        }
        if (section != nullptr) {
            CloseHandle(section);
        }
    }
    return nullptr;
}

} // namespace

FolderLock take_folder_lock() {
    static FolderIdentity folder;
    if (!folder_identity(L".", folder)) {
        return FolderLock::Unavailable;
    }
    char global[2][folder_lock_name_size];
    char local[2][folder_lock_name_size];
    const std::size_t count = folder_lock_names(folder, true, global);
    folder_lock_names(folder, false, local);
    lstrcpynA(g_names[0], global[0], folder_lock_name_size);
    lstrcpynA(g_names[1], local[0], folder_lock_name_size);
    // The wide name first; the ANSI one, where there is one, also refuses and is refused by an
    // older supervisor in the same folder.
    Attempt attempts[2] = {Attempt::Failed, Attempt::Failed};
    for (std::size_t i = 0; i < count; ++i) {
        // Refused means another account's supervisor holds the global name; only another
        // failure (no global namespace) falls back to the session's own.
        attempts[i] = create_lock(global[i]);
        if (attempts[i] == Attempt::Failed) {
            attempts[i] = create_lock(local[i]);
            if (i == 0) {
                g_names[0][0] = '\0'; // no global namespace: the count is the session's too
            }
        }
        if (attempts[i] == Attempt::Exists || attempts[i] == Attempt::Refused) {
            return FolderLock::HeldByAnother;
        }
    }
    return attempts[0] == Attempt::Created ? FolderLock::Taken : FolderLock::Unavailable;
}

volatile long* share_refusal_count() {
    return shared_count(true);
}

std::uint32_t count_refusal() {
    volatile long* count = shared_count(false);
    return count == nullptr ? 0 : static_cast<std::uint32_t>(InterlockedIncrement(count));
}

std::uint32_t take_refusal_count(volatile long* count) {
    return static_cast<std::uint32_t>(InterlockedExchange(count, 0));
}
