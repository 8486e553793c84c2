#include "golden.h"

#include "temp_folder.h"
#include "runtime/utf8.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The line (1-based) where two texts first differ, and that line of each.
std::string FirstDifference(std::string_view expected, std::string_view actual) {
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  // Both texts are equal up to `at`: the line starts after the last line end before it.
  const std::size_t lastLineEnd = at == 0 ? std::string_view::npos : expected.rfind('\n', at - 1);
  const std::size_t lineStart = lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + 1;
  auto lineOf = [&](std::string_view text) {
    if (lineStart >= text.size()) return std::string("(end of file)");
    const std::size_t end = text.find('\n', lineStart);
    return testing::PrintToString(std::string(text.substr(lineStart, end - lineStart)));
  };
  std::size_t line = 1;
  for (std::size_t i = 0; i < lineStart; ++i) line += expected[i] == '\n';
  return "first difference in line " + std::to_string(line) + "\n  expected: " + lineOf(expected) +
         "\n  actual:   " + lineOf(actual);
}

}  // namespace

bool UpdatingGoldenFiles() {
  const char* value = std::getenv("QUORVEL_UPDATE_GOLDEN");
  return value != nullptr && std::string_view(value) == "1";
}

testing::AssertionResult MatchesGolden(std::string_view name, const std::string& actual) {
  return MatchesGoldenFile(TestData(name), actual, UpdatingGoldenFiles());
}

testing::AssertionResult MatchesGoldenFile(TextView file, const std::string& actual, bool update) {
  const std::string name = TextToUtf8(file);
  if (actual.empty()) return testing::AssertionFailure() << "nothing to compare with " << name << ": no output";
  const bool exists = FileExists(file);
  const std::string expected = exists ? ReadBytes(file) : std::string();
  if (exists && expected == actual) return testing::AssertionSuccess();
  if (update) {
    WriteBytes(file, actual);
    if (ReadBytes(file) != actual) return testing::AssertionFailure() << "could not rewrite " << name;
    std::printf("[ GOLDEN   ] %s %s\n", exists ? "rewrote" : "created", name.c_str());
    return testing::AssertionSuccess();
  }
  if (!exists) {
    return testing::AssertionFailure() << "no golden file " << name
                                       << " (run with QUORVEL_UPDATE_GOLDEN=1 to create it)";
  }
  return testing::AssertionFailure() << name << " differs from the output (" << expected.size() << " bytes against "
                                     << actual.size() << "), " << FirstDifference(expected, actual)
                                     << "\n(run with QUORVEL_UPDATE_GOLDEN=1 to rewrite it, then review git diff)";
}
