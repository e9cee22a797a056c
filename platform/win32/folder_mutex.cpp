// The named mutex that lets one supervisor at a time watch a folder.
#include "../../watch/folder_lock.h"
#include "../platform.h"
#include "folder_path.h"

#include <windows.h>

namespace {

enum class Attempt { Created, Exists, Refused, Failed };

Attempt create_lock(const char* folder, bool global) {
    char name[folder_lock_name_size];
    folder_lock_name(folder, global, name);
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

} // namespace

FolderLock take_folder_lock() {
    char folder[MAX_PATH * 2];
    if (!normalised_folder_path(".", folder, sizeof folder)) {
        return FolderLock::Unavailable;
    }
    // Refused means another account's supervisor holds the global name; only another failure
    // (no global namespace) falls back to the session's own.
    Attempt attempt = create_lock(folder, true);
    if (attempt == Attempt::Failed) {
        attempt = create_lock(folder, false);
    }
    switch (attempt) {
    case Attempt::Created:
        return FolderLock::Taken;
    case Attempt::Exists:
    case Attempt::Refused:
        return FolderLock::HeldByAnother;
    case Attempt::Failed:
        break;
    }
    return FolderLock::Unavailable;
}
