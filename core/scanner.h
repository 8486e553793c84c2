// Fills a project's version, platform, tempo, master and tracks from its
// line table in one pass. Every line is tried against a fixed list of tests
// at fixed character positions; lines that match none are ignored. It never
// fails: malformed lines give empty texts and zeros.
#pragma once

#include "core/project_data.h"

// Expects the scanned content to be in its reset state (resetScannedContent).
void scanProject(ProjectData& project);
