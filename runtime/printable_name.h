// Names (paths, file names) as they may go to a terminal, in one line.
//
// PrintableName returns a new Text, the caller's: a line feed, a tab and a
// carriage return become "\n", "\t" and "\r"; other control characters
// (C0, DEL, C1) become "\x1b" or "\u009b"; a byte of a POSIX name that is
// not UTF-8 (kept as U+DC80..U+DCFF, see utf8.h) stays that unit, so that it
// goes out as its own byte again, except a control byte (0x80..0x9F), which
// becomes "\x9b". Nothing in a name can then split a line or drive the
// terminal. It never fails.
#pragma once

#include "runtime/text.h"

Text PrintableName(TextView name);
