// The full, long-named path of a folder in the forms that the folder lock's names come from.
#pragma once

#include "../../watch/folder_lock.h"

#include <cstddef>
#include <cstdint>

// False when the system gives no full path for path within capacity bytes. ANSI, byte by byte.
bool normalised_folder_path(const char* path, char* out, std::size_t capacity);

// Room for a folder's path, in UTF-16 units and in ANSI bytes (MAX_PATH twice).
constexpr std::size_t folder_path_room = 520;

struct FolderIdentity {
    std::uint16_t units[folder_path_room]; // full, long-named, trimmed, upper-cased
    std::size_t size;
    char ansi[folder_path_room]; // the normalised ANSI path where the name converts exactly, or ""
};
// False when the system gives no full path for path.
bool folder_identity(const wchar_t* path, FolderIdentity& out);
// The folder's lock names in one namespace, the wide one first and the ANSI one where it differs;
// how many.
std::size_t folder_lock_names(const FolderIdentity& folder, bool global,
                              char (&names)[2][folder_lock_name_size]);
