#include "folder_path.h"

#include "../../watch/folder_lock.h"

#include <windows.h>

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
