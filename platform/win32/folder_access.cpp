#include "folder_access.h"

#include "look_up.h"
#include "object_owner.h"

#include <cstring>
#include <cwchar>

namespace {

// Entries that can change what is judged, beyond which a list is said as not read: no folder of
// a sound deployment comes near it.
constexpr std::size_t max_aces = 16;

// One judgement's room: the programs are single-threaded and judge one folder at a time.
struct Judging {
    ObjectAcl acl;
    AceFact aces[max_aces];
    char names[max_aces + 1][account_name_size]; // the owner's, then each entry's
    std::uint64_t self_room[12];
    const unsigned char* self; // this process's user's SID, in self_room
};
Judging g_room;

// The object's permissions, judged into out; object: its name, null for the folder.
void judge_path(const WCHAR* path, const char* object, UINT code_page, WriteAccess& out) {
    Judging& j = g_room;
    ObjectAcl& acl = j.acl;
    const unsigned char* self = j.self;
    acl.object = object;
    acl.folder = object == nullptr;
    acl.aces = j.aces;
    acl.owner_name = j.names[0];
    acl.count = 0;
    acl.owner = Trustee::self;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    acl.error = file_security(path, &owner, &dacl, &descriptor);
    if (acl.error == ERROR_FILE_NOT_FOUND || acl.error == ERROR_PATH_NOT_FOUND) {
        return; // nothing there to replace; a missing worker is warned of at its launch
    }
    acl.dacl = acl.error != 0 ? Dacl::unreadable : dacl == nullptr ? Dacl::null_dacl : Dacl::listed;
    if (owner != nullptr) {
        acl.owner = trustee_of(static_cast<unsigned char*>(owner), self);
        if (acl.owner == Trustee::other) {
            account_name(owner, code_page, j.names[0]);
        }
    }
    const auto* at = reinterpret_cast<unsigned char*>(dacl + 1); // NOLINT: the ACL's layout
    // Listed only where dacl is not null.
    for (WORD i = 0; acl.dacl == Dacl::listed && i < dacl->AceCount; ++i) { // NOLINT
        const auto* header = reinterpret_cast<const ACE_HEADER*>(at);       // NOLINT
        // Allowed, denied, and allowed on a condition (which may hold): the SID after the mask.
        const BYTE type = header->AceType;
        const auto sid = const_cast<unsigned char*>(at + 8); // NOLINT: the API takes PSID
        AceFact ace{type == ACCESS_DENIED_ACE_TYPE, header->AceFlags, 0, trustee_of(sid, self),
                    j.names[acl.count + 1]};
        std::memcpy(&ace.mask, at + 4, sizeof ace.mask);
        at += header->AceSize;
        if ((type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE ||
             type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE) &&
            ace_matters(ace, acl.folder)) {
            if (acl.count == max_aces) {
                acl.dacl = Dacl::unreadable; // too many to judge: said, never guessed
                acl.error = ERROR_INSUFFICIENT_BUFFER;
                break;
            }
            if (ace.who == Trustee::other) {
                account_name(sid, code_page, j.names[acl.count + 1]);
            }
            j.aces[acl.count++] = ace;
        }
    }
    judge_acl(acl, out);
    LocalFree(descriptor);
}

// FAT32 and exFAT keep no permissions. Asked of the open folder: asked of its drive's root, Wine
// reads the device and says so on standard error. Where it cannot be asked, the DACLs tell.
bool keeps_no_permissions(const WCHAR* folder) {
    using Query = LONG(WINAPI*)(HANDLE, ULONG_PTR*, ULONG*, ULONG, int);
    const auto query =
        look_up<Query>(GetModuleHandleA("ntdll.dll"), "NtQueryVolumeInformationFile");
    HANDLE handle = CreateFileW(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    ULONG_PTR status[2];
    ULONG attributes[64]; // FILE_FS_ATTRIBUTE_INFORMATION: the flags first, the name's room after
    // FileFsAttributeInformation
    const bool none = query != nullptr &&
                      query(handle, status, attributes, sizeof attributes, 5) == 0 &&
                      (attributes[0] & FILE_PERSISTENT_ACLS) == 0;
    CloseHandle(handle);
    return none;
}

} // namespace

bool join_path(WCHAR (&out)[folder_path_room], const WCHAR* dir, const WCHAR* name) {
    const std::size_t dir_size = std::wcslen(dir);
    const std::size_t name_size = std::wcslen(name);
    if (dir_size + 1 + name_size >= folder_path_room) {
        return false;
    }
    std::wmemcpy(out, dir, dir_size);
    std::size_t at = dir_size;
    if (at == 0 || out[at - 1] != L'\\') {
        out[at++] = L'\\';
    }
    std::wmemcpy(out + at, name, name_size + 1);
    return true;
}

bool cmd_searches_current_folder() {
    // From Vista and Server 2003 on; before them cmd always looks in the current folder first.
    using Need = BOOL(WINAPI*)(LPCWSTR);
    const auto need =
        look_up<Need>(GetModuleHandleA("kernel32.dll"), "NeedCurrentDirectoryForExePathW");
    return need == nullptr || need(L"fkill") != FALSE;
}

bool fkill_in(const WCHAR* dir, std::size_t dir_size, WCHAR (&found)[folder_path_room]) {
    WCHAR extensions[2048];
    if (GetEnvironmentVariableW(L"PATHEXT", extensions, 2048) - 1u >= 2047u) {
        std::wcscpy(extensions, L".COM;.EXE;.BAT;.CMD"); // cmd's own when PATHEXT is unset
    }
    if (dir_size == 0 || dir_size + 7 >= folder_path_room) {
        return false;
    }
    std::wmemcpy(found, dir, dir_size);
    std::size_t stem = dir_size;
    if (found[stem - 1] != L'\\') {
        found[stem++] = L'\\';
    }
    std::wmemcpy(found + stem, L"fkill", 5);
    stem += 5;
    for (const WCHAR* ext = extensions; *ext != 0; ext += *ext == L';' ? 1 : 0) {
        std::size_t size = 0;
        while (ext[size] != 0 && ext[size] != L';') {
            ++size;
        }
        if (size != 0 && stem + size < folder_path_room) {
            std::wmemcpy(found + stem, ext, size);
            found[stem + size] = 0;
            const DWORD attributes = GetFileAttributesW(found);
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                return true;
            }
        }
        ext += size;
    }
    return false;
}

void judge_folder_access(const WCHAR* folder, const WCHAR* program, const char* program_name,
                         bool current, UINT code_page, const char* trusted, WriteAccess& out) {
    Judging& j = g_room;
    j.self = static_cast<unsigned char*>(own_user_sid(j.self_room));
    j.acl.trusted_account = trusted;
    if (keeps_no_permissions(folder)) {
        out.no_permissions = true;
        return;
    }
    WCHAR path[folder_path_room];
    judge_path(folder, nullptr, code_page, out);
    if (join_path(path, folder, program)) {
        judge_path(path, program_name, code_page, out);
    }
    if ((!current || cmd_searches_current_folder()) &&
        fkill_in(folder, std::wcslen(folder), path)) {
        judge_path(path, "fkill", code_page, out);
    }
}
