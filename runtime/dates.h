// File times and date rendering.
// A Timestamp counts seconds since 1970-01-01 00:00:00 of local wall-clock
// time (no zone of its own); -1 stands for no date at all.
#pragma once

#include "runtime/text.h"

#include <cstdint>

using Timestamp = std::int64_t;

enum class TimestampKind : std::int32_t { Created = 0, Accessed = 1, Modified = 2 };

// The file's time in local time, or 0 when it cannot be read.
Timestamp FileTimestamp(TextView path, TimestampKind kind);
// The pattern with %yyyy %yy %mm %dd %hh %ii %ss (any letter case) replaced by
// the fields of the timestamp; empty for an empty pattern, for -1 and for a
// moment outside 1601 to 30827.
Text FormatTimestamp(TextView pattern, Timestamp timestamp);

// The report's date text of a file: "dd/mm/yyyy hh:ii" of its modification time.
Text FileDateText(TextView path);
