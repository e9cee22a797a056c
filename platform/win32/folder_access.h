// The permissions of a folder and of the programs run from it, read for the judgement of
// watch/write_access.h, and how the command interpreter finds fkill there.
#pragma once

#include "../../watch/write_access.h"
#include "folder_path.h"

#include <windows.h>

#include <cstddef>

// dir, a backslash where it has none, and name into out; false when it does not fit.
bool join_path(WCHAR (&out)[folder_path_room], const WCHAR* dir, const WCHAR* name);
// Whether cmd looks in the current folder before PATH: not where the environment sets
// NoDefaultCurrentDirectoryInExePath (Microsoft's NeedCurrentDirectoryForExePath).
bool cmd_searches_current_folder();
// The first "fkill" with one of PATHEXT's extensions, in their order (cmd's own list where it is
// unset), that is a file in dir (its first dir_size units), as cmd tries them; its path into found.
bool fkill_in(const WCHAR* dir, std::size_t dir_size, WCHAR (&found)[folder_path_room]);
// Judges folder, program in it (program_name in what is said) and the fkill that the interpreter
// finds there into out: searched as the current folder (current) or typed by its path. Accounts
// named in code_page; trusted: as ObjectAcl's trusted_account.
void judge_folder_access(const WCHAR* folder, const WCHAR* program, const char* program_name,
                         bool current, UINT code_page, const char* trusted, WriteAccess& out);
