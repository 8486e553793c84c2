// Fills a project's version, platform, tempo, master and tracks from its
// line table in one pass. Every line is tried against a fixed list of tests
// at fixed character positions; lines that match none are ignored. It never
// fails: malformed lines give empty texts and zeros.
//
// One of the program's two readers of project files. This one, the report's,
// keeps every line as text (the model holds them) and reads fixed character
// positions of single lines, as the report has always read them; the
// inventory's (core/block_reader.h) streams each file of an archive once, in
// memory bounded by its longest line, and follows the block structure. Both
// stand on one byte layer (runtime/text_bytes.h).
#pragma once

#include "core/project_data.h"

// Expects the scanned content to be in its reset state (resetScannedContent).
void scanProject(ProjectData& project);
