// kq2stat's standard output in the Monitoring Plugins format: a first line with the state, the
// reason and perfdata after "|", and with several folders one more line per folder.
#pragma once

#include "folder_state.h"
#include "watch/text_buf.h"

#include <cstddef>

// kq2stat judges up to max_folders folders, each named by a full path of at most
// folder_path_size bytes with its zero (MAX_PATH * 2).
constexpr std::size_t max_folders = 64;
constexpr std::size_t folder_path_size = 520;
// Room for the output of max_folders folders with the longest paths and the largest numbers, and
// the most accounts named as able to change what runs from them.
constexpr std::size_t plugin_text_size = max_folders * 6 * 1024;

// The seconds from one check to the next: a check comes once more than 60 have passed.
constexpr std::uint32_t check_interval_seconds = 61;

// failure, when not null, is a fault of the run itself (the Prometheus file not written); it
// makes the state at least UNKNOWN. own: facts[count] holds kq2stat's own folder (its path and
// its access), said first where others may change it, which makes the state at least WARNING.
// Returns the state that is the exit status.
State format_plugin_output(TextBuf& out, const FolderFacts* facts, const Verdict* verdicts,
                           std::size_t count, std::uint32_t stale_seconds, const char* failure,
                           bool own = false);
const char* state_name(State state);
// A text that the plugin line echoes (a path, a file name), its "|" as "/": a second "|" would
// start the perfdata early for every parser.
void put_echoed(TextBuf& out, const char* text);
