// What the supervisor says once at start-up: a worker left by an earlier run, and the ways of
// being started in the wrong folder. Each check is a plain function of facts.
#pragma once

#include "../platform/platform.h"
#include "history.h"

#include <cstddef>

// Room for the longest warning: its fixed words and two full paths.
constexpr std::size_t startup_warning_size = 2 * fact_path_size + 200;

enum class FolderCheck { SystemFolder, NetworkPath, WorkerBesideSupervisor, Virtualised };
inline constexpr FolderCheck folder_checks[] = {FolderCheck::SystemFolder, FolderCheck::NetworkPath,
                                                FolderCheck::WorkerBesideSupervisor,
                                                FolderCheck::Virtualised};

// Writes the check's warning into out when the facts call for it.
bool folder_warning(const StartupFacts& facts, FolderCheck check,
                    char (&out)[startup_warning_size]);

// "warning: others may change what runs from this folder: ..." where another account may plant or
// replace what the supervisor runs, the drive keeps no permissions, or they cannot be read.
bool write_access_warning(const WriteAccess& access, char (&out)[startup_warning_size]);

// The start-up warnings on standard error: the earlier run's worker, when the status file names
// one that still runs, then the folder checks; each is an event too.
void warn_at_start(History& history);
