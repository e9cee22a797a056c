#include "folder_path.h"

#include <windows.h>

#include <cstring>

bool normalised_folder_path(const char* path, char* out, std::size_t capacity) {
    char full[MAX_PATH * 2];
    const DWORD full_length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (full_length == 0 || full_length >= sizeof full || full_length >= capacity) {
        return false;
    }
    // An 8.3 name and its long name are one folder; where the long name cannot be had (a folder
    // that is gone, a share that refuses), the full path stands.
    const DWORD long_length =
        GetLongPathNameA(full, out, static_cast<DWORD>(capacity > MAXDWORD ? MAXDWORD : capacity));
    if (long_length == 0 || long_length >= capacity) {
        lstrcpynA(out, full, static_cast<int>(full_length + 1));
    }
    normalise_folder_path(out);
    return true;
}

bool folder_identity(const wchar_t* path, FolderIdentity& out) {
    WCHAR full[folder_path_room];
    WCHAR long_name[folder_path_room];
    out.size = 0;
    out.ansi[0] = '\0';
    const DWORD full_length = GetFullPathNameW(path, folder_path_room, full, nullptr);
    if (full_length == 0 || full_length >= folder_path_room) {
        return false;
    }
    const DWORD long_length = GetLongPathNameW(full, long_name, folder_path_room);
    const WCHAR* name = long_length == 0 || long_length >= folder_path_room ? full : long_name;
    // The invariant table is close to, not exactly, each NTFS volume's own upcase table; XP has
    // no call for the volume's.
    WCHAR upper[folder_path_room];
    const int size = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name, -1, upper,
                                  static_cast<int>(folder_path_room));
    if (size <= 0) {
        return false;
    }
    for (int i = 0; i + 1 < size; ++i) {
        out.units[i] = upper[i];
    }
    out.size = trimmed_folder_size(Utf16Text{out.units, static_cast<std::size_t>(size - 1)});
    // No best fit where the code page takes the flag: "Ω" must not pass for "O", nor a character
    // outside the code page for "?". The conversion back decides on every code page.
    const bool flags = ansi_conversion_takes_flags(GetACP());
    char ansi[folder_path_room];
    BOOL used_default = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, flags ? WC_NO_BEST_FIT_CHARS : 0, name, -1, ansi,
                                          sizeof ansi, nullptr, flags ? &used_default : nullptr);
    WCHAR back[folder_path_room];
    const int back_size =
        bytes == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, folder_path_room);
    static_assert(sizeof(WCHAR) == sizeof(std::uint16_t), "UTF-16 units");
    const auto units = [](const WCHAR* text, int length) {
        return Utf16Text{reinterpret_cast<const std::uint16_t*>(text),
                         length > 0 ? static_cast<std::size_t>(length) : 0u};
    };
    if (!ansi_name_exact(back_size != 0, used_default != FALSE, units(name, lstrlenW(name) + 1),
                         units(back, back_size)) ||
        !normalised_folder_path(ansi, out.ansi, sizeof out.ansi)) {
        out.ansi[0] = '\0';
    }
    return true;
}

std::size_t folder_lock_names(const FolderIdentity& folder, bool global,
                              char (&names)[2][folder_lock_name_size]) {
    folder_lock_name(Utf16Text{folder.units, folder.size}, global, names[0]);
    if (folder.ansi[0] == '\0') {
        return 1;
    }
    folder_lock_name(folder.ansi, global, names[1]);
    // An ASCII path gives one name twice; a second take of it would find our own.
    return std::strcmp(names[0], names[1]) == 0 ? 1 : 2;
}
