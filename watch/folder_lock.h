// The name of the mutex that marks a folder as watched. The supervisor holds it for its current
// folder; readers of that folder (kq2stat, later versions) compute the same name to ask whether a
// supervisor runs there. No operating system here.
#pragma once

#include "utf8.h"

#include <cstddef>
#include <cstdint>

// "Global\kq2-supervisor-" and 16 hex digits, its zero included.
constexpr std::size_t folder_lock_name_size = 40;

// The folder's identity is its full path with long names, in UTF-16, upper-cased by the system:
// this is its length without trailing backslashes, but for the one of a drive's root ("C:\"), so
// that "C:\WORK\" and "C:\WORK" are one folder.
std::size_t trimmed_folder_size(Utf16Text path);
// FNV-1a, 64 bits, over the path's UTF-8 bytes, a lone surrogate in its three-byte form, so that
// no two names collide by the conversion. An ASCII path hashes as its ANSI bytes did.
std::uint64_t fnv1a_64(Utf16Text text);
// The mutex name for a folder's identity, in the Global or the Local namespace.
void folder_lock_name(Utf16Text identity, bool global, char (&out)[folder_lock_name_size]);

// The memory shared beside a folder's lock, in its namespace: the lock's name and "-refused".
constexpr std::size_t refusal_count_name_size = folder_lock_name_size + 8;
void refusal_count_name(const char* lock_name, char (&out)[refusal_count_name_size]);

// The name by the ANSI path, which supervisors took before the wide one (1.1.0): taken beside it
// where the path converts exactly, so that both versions refuse each other.
// In place, on a full path with its long names: trailing backslashes dropped except at a drive's
// root, ASCII letters upper-cased, byte by byte.
void normalise_folder_path(char* path);
// Whether the conversion to the ANSI code page can be asked for no best fit and told of a default
// character used: Microsoft's WideCharToMultiByte refuses both for UTF-8 and UTF-7 (a system set to
// "Use Unicode UTF-8 for worldwide language support"), failing the call. Wine takes them.
bool ansi_conversion_takes_flags(unsigned code_page);
// The ANSI text is the folder's exact name only when the conversion worked, used no default
// character, and the text converts back to the same UTF-16 name: under UTF-8 a lone surrogate
// becomes U+FFFD, and a best fit ("O" for "Ω") never converts back.
bool ansi_name_exact(bool converted, bool used_default, Utf16Text name, Utf16Text back);
// FNV-1a, 64 bits, over the text's bytes without its zero.
std::uint64_t fnv1a_64(const char* text);
// The mutex name for a normalised ANSI folder path, in the Global or the Local namespace.
void folder_lock_name(const char* normalised, bool global, char (&out)[folder_lock_name_size]);
