// The facts that kq2stat judges in a watched folder, gathered with Win32 calls without changing
// anything there: the status file, the folder's lock, the worker, the heartbeat, fkill, and who
// else may change what runs from the folder. monitor/ judges and says them.
#pragma once

#include "../../monitor/folder_state.h"
#include "folder_path.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct Folder {
    WCHAR path[folder_path_room]; // full, without trailing backslashes but at a drive's root
    std::uint16_t label[folder_path_room];
    std::size_t label_size;
    char text[folder_path_room * 3]; // the path in UTF-8, for the plugin line
    FolderIdentity identity;
    bool identified;
};

// The system's UTF-16 in the units that the OS-free code takes.
Utf16Text units_of(const WCHAR* text, std::uint16_t (&room)[folder_path_room]);
// The folder's full path as the system names it, and its identity, by which the folder lock is
// found and a folder given twice is told.
void name_folder(const WCHAR* given, Folder& folder);
bool same_folder(const Folder& a, const Folder& b);
void gather_folder_facts(const Folder& folder, FolderFacts& f);
// Where kq2stat runs as SYSTEM or an administrator, who run it from its folder: that folder, and
// its program's file name. False otherwise.
bool own_folder(Folder& folder, WCHAR (&program)[64]);
