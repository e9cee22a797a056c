// The text exposition format that the textfile collectors of windows_exporter and node_exporter
// read: "# HELP" and "# TYPE" for each metric, one sample per folder, LF line ends.
#pragma once

#include "folder_state.h"
#include "plugin_output.h"
#include "watch/text_buf.h"
#include "watch/utf8.h"

#include <cstddef>
#include <cstdint>

// A label value: encoded as UTF-8 (an unpaired surrogate as U+FFFD), with "\" as "\\", a quote
// as "\"" and a newline as "\n".
void put_label_value(TextBuf& out, Utf16Text text);
// Room for every sample of max_folders folders with the longest paths: a path's UTF-16 units, at
// most one for each of its bytes, take at most 3 bytes each in a label; the fixed text of a sample
// and its number, under 64 bytes; the help lines, under 4096.
// kq2stat's own folder adds one sample.
constexpr std::size_t prometheus_metrics = 9;
constexpr std::size_t prometheus_text_size =
    (max_folders * prometheus_metrics + 1) * (3 * folder_path_size + 64) + 4096;
// own: facts[count] (a folder with its access only) and folders[count] hold kq2stat's own
// folder, whose one sample is the access gauge's.
void format_prometheus(TextBuf& out, const FolderFacts* facts, const Verdict* verdicts,
                       const Utf16Text* folders, std::size_t count, std::uint32_t stale_seconds,
                       bool own = false);
