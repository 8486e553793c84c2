// Test helpers: a fresh temporary folder per test, and whole-file access.
#pragma once

#include "runtime/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A new empty folder, removed with everything in it at the end of the test.
class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The folder with a trailing separator, as Text.
  Text folder() const { return folder_; }
  Text path(TextView name) const { return folder_ + Text(name); }
  void writeFile(TextView name, std::string_view bytes) const;

 private:
  Text folder_;
};

// Makes `folder` the process's working directory while it lives, then puts
// the previous one back.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(TextView folder);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;
  // The working directory as the standard library reads it, ending in one
  // separator: the yardstick for the program's own reading.
  static Text current();

 private:
  Text previous_;
};

std::string ReadBytes(TextView path);
void WriteBytes(TextView path, std::string_view bytes);
bool FileExists(TextView path);
// A path to a file kept beside the tests, and to a file of the real corpus.
Text TestData(std::string_view name);
Text CorpusFile(std::string_view name);
// Every .rpp file of the real corpus, sorted; empty when it is missing.
std::vector<Text> CorpusFiles();

// The real corpus (the folder QUORVEL_CORPUS_DIR named at configuration) is
// kept outside the repository. Tests that read it have "corpus" in their name
// and begin with QUORVEL_SKIP_WITHOUT_CORPUS(), which skips them, saying why,
// when the folder is missing.
bool CorpusAvailable();
std::string CorpusMissingReason();
#define QUORVEL_SKIP_WITHOUT_CORPUS() \
  if (!CorpusAvailable()) GTEST_SKIP() << CorpusMissingReason()
