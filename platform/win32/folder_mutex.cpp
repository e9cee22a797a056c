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
    // The wide name first; the ANSI one, where there is one, also refuses and is refused by an
    // older supervisor in the same folder.
    Attempt attempts[2] = {Attempt::Failed, Attempt::Failed};
    for (std::size_t i = 0; i < count; ++i) {
        // Refused means another account's supervisor holds the global name; only another
        // failure (no global namespace) falls back to the session's own.
        attempts[i] = create_lock(global[i]);
        if (attempts[i] == Attempt::Failed) {
            attempts[i] = create_lock(local[i]);
        }
        if (attempts[i] == Attempt::Exists || attempts[i] == Attempt::Refused) {
            return FolderLock::HeldByAnother;
        }
    }
    return attempts[0] == Attempt::Created ? FolderLock::Taken : FolderLock::Unavailable;
}
