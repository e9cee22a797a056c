// The name of the mutex that marks a folder as watched. The supervisor holds it for its current
// folder; readers of that folder (kq2stat, later versions) compute the same name to ask whether a
// supervisor runs there. No operating system here.
#pragma once

#include <cstddef>
#include <cstdint>

// "Global\kq2-supervisor-" and 16 hex digits, its zero included.
constexpr std::size_t folder_lock_name_size = 40;

// In place, on a full path with its long names: trailing backslashes dropped except at a drive's
// root ("C:\"), ASCII letters upper-cased, so that "c:\work\" and "C:\WORK" are one folder.
void normalise_folder_path(char* path);
// FNV-1a, 64 bits, over the text's bytes without its zero.
std::uint64_t fnv1a_64(const char* text);
// The mutex name for a normalised folder path, in the Global or the Local namespace.
void folder_lock_name(const char* normalised, bool global, char (&out)[folder_lock_name_size]);
