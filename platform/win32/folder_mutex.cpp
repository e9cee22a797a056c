// The named mutex that lets one supervisor at a time watch a folder, and the refused starts'
// shared count beside it. Both names are predictable: an object of either made first by another
// account is never taken for this user's own.
#include "../../watch/folder_lock.h"
#include "../platform.h"
#include "folder_path.h"
#include "object_owner.h"

#include <windows.h>

namespace {

enum class Attempt { Created, Exists, Refused, Failed };

Attempt create_lock(const char* name, SECURITY_ATTRIBUTES* security, OwnerFacts& holder) {
    SetLastError(ERROR_SUCCESS);
    // The handle is not inherited, so a worker that outlives the supervisor does not keep the
    // folder locked.
    HANDLE mutex = CreateMutexA(security, FALSE, name);
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        if (error != ERROR_ACCESS_DENIED) {
            return Attempt::Failed;
        }
        // Another account's: its owner, where its DACL lets us read that.
        mutex = OpenMutexA(READ_CONTROL, FALSE, name);
        if (mutex != nullptr) {
            read_owner(mutex, CP_ACP, holder);
            CloseHandle(mutex);
        }
        return Attempt::Refused;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        read_owner(mutex, CP_ACP, holder); // opened with all access, READ_CONTROL among it
        CloseHandle(mutex);
        return Attempt::Exists;
    }
    return Attempt::Created; // held until the process ends
}

// The wide name's namespaces, the one where the lock was taken or found first, for the shared
// count beside it.
char g_names[2][folder_lock_name_size];

// A refused start's open of the count: another account's section, or one whose owner cannot be
// read, is not used, so that nobody else can silence this user's refusals.
volatile long* open_count(const char* name, bool& found) {
    HANDLE section = OpenFileMappingA(FILE_MAP_WRITE | READ_CONTROL, FALSE, name);
    found = section != nullptr;
    if (!found) {
        return nullptr;
    }
    OwnerFacts facts{};
    read_owner(section, CP_ACP, facts);
    void* view =
        count_trusted(facts) ? MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(long)) : nullptr;
    if (view == nullptr) {
        CloseHandle(section);
    }
    return static_cast<volatile long*>(view); // held until the process ends
}

} // namespace

FolderLock take_folder_lock(OwnerFacts& holder) {
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
    // Where no descriptor can be made, the system's default one: the lock matters more.
    OwnSecurity security;
    SECURITY_ATTRIBUTES* attributes = own_security(security) ? &security.attributes : nullptr;
    // The wide name first; the ANSI one, where there is one, also refuses and is refused by an
    // older supervisor in the same folder.
    Attempt attempts[2] = {Attempt::Failed, Attempt::Failed};
    for (std::size_t i = 0; i < count; ++i) {
        // Refused means another account's object holds the global name; only another failure
        // (no global namespace) falls back to the session's own.
        attempts[i] = create_lock(global[i], attributes, holder);
        if (attempts[i] == Attempt::Failed) {
            attempts[i] = create_lock(local[i], attributes, holder);
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

volatile long* share_refusal_count(bool& foreign) {
    OwnSecurity security;
    if (!own_security(security)) {
        return nullptr; // never a section that anyone could open
    }
    for (const char* lock_name : g_names) {
        if (lock_name[0] == '\0') {
            continue;
        }
        char name[refusal_count_name_size] = {};
        refusal_count_name(lock_name, name); // ASCII, as the lock's
        SetLastError(ERROR_SUCCESS);
        // A global section needs SeCreateGlobalPrivilege, which a mutex does not: a supervisor
        // without it shares the count in its session's namespace. The page file's memory
        // starts at 0.
        HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, &security.attributes,
                                            PAGE_READWRITE, 0, sizeof(long), name);
        const DWORD error = GetLastError();
        if (section == nullptr) {
            // Refused in the session's own namespace: another's object that shuts us out.
            foreign = error == ERROR_ACCESS_DENIED && lock_name == g_names[1];
            continue;
        }
        if (error == ERROR_ALREADY_EXISTS) {
            // The user's own, which a refused start of the last supervisor may still hold open,
            // is used; any other is not.
            bool found = false;
            volatile long* count = open_count(name, found);
            CloseHandle(section);
            foreign = count == nullptr;
            return count;
        }
        void* view = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(long));
        if (view != nullptr) {
            return static_cast<volatile long*>(view); // held until the process ends
        }
        CloseHandle(section);
    }
    return nullptr;
}

std::uint32_t count_refusal() {
    for (const char* lock_name : g_names) {
        if (lock_name[0] == '\0') {
            continue;
        }
        char name[refusal_count_name_size] = {};
        refusal_count_name(lock_name, name);
        bool found = false;
        volatile long* count = open_count(name, found);
        if (found) { // the first found decides: another account's means none
            return count == nullptr ? 0 : static_cast<std::uint32_t>(InterlockedIncrement(count));
        }
    }
    return 0;
}

std::uint32_t take_refusal_count(volatile long* count) {
    return static_cast<std::uint32_t>(InterlockedExchange(count, 0));
}
