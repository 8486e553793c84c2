// Golden files: expected outputs kept in tests/data, compared byte for byte.
//
// MatchesGolden(name, actual) succeeds when tests/data/<name> holds exactly
// `actual`; on failure it names the first line that differs. Run with
// QUORVEL_UPDATE_GOLDEN=1 in the environment, it instead writes `actual` into
// the golden file (created if missing, left untouched if equal) and succeeds,
// printing each file it rewrote; review the result with `git diff`. An empty
// `actual` is never written: it fails in both modes.
#pragma once

#include "runtime/text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

bool UpdatingGoldenFiles();
testing::AssertionResult MatchesGolden(std::string_view name, const std::string& actual);
// The same for any file, updating it when `update` is true.
testing::AssertionResult MatchesGoldenFile(TextView file, const std::string& actual, bool update);
