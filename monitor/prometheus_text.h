// The text exposition format that the textfile collectors of windows_exporter and node_exporter
// read: "# HELP" and "# TYPE" for each metric, one sample per folder, LF line ends.
#pragma once

#include "folder_state.h"
#include "watch/text_buf.h"
#include "watch/utf8.h"

#include <cstddef>
#include <cstdint>

// A label value: encoded as UTF-8 (an unpaired surrogate as U+FFFD), with "\" as "\\", a quote
// as "\"" and a newline as "\n".
void put_label_value(TextBuf& out, Utf16Text text);
void format_prometheus(TextBuf& out, const FolderFacts* facts, const Verdict* verdicts,
                       const Utf16Text* folders, std::size_t count, std::uint32_t stale_seconds);
