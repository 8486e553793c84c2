// Feeds arbitrary bytes through the whole pipeline: they are written to a
// project file, loaded (mark detection, line reading with the UTF-8 check and
// the ANSI restart, leading spaces stripped, the project's first line
// checked), scanned and exported to a report file; the same bytes behind a
// project's first line go the whole way. The lines are compared with the plain reference reading, and the file
// is also read line by line in two formats chosen by the input, again against
// the reference; any difference aborts.
#include "../tests/hostile/reference_reader.h"

#include "core/loader.h"
#include "report/export.h"
#include "runtime/numbered_file.h"
#include "runtime/utf8.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// The run's own folder in the temporary folder, removed with what it holds
// when the run ends (libFuzzer ends a run with exit, which runs this).
class RunFolder {
 public:
  RunFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
  }
  ~RunFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& Folder() {
  static RunFolder folder;
  return folder.path();
}

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "mismatch: %s\n", what);
    std::abort();
  }
}

void WriteProject(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

// Reads the file line by line with ReadTextLine, as a Load does without the
// mark detection, and compares with the reference.
void CheckFormat(const Text& path, std::string_view bytes, std::int32_t flags) {
  constexpr std::int64_t kNumber = 3;
  Require(OpenFileForReading(kNumber, path) != 0, "open");
  std::size_t start = 0;
  const TextFormat detected = ReferenceDetectFormat(bytes, start);
  Require(DetectTextFormat(kNumber) == detected, "detected format");
  bool malformed = false;
  const std::vector<Text> expected = ReferenceReadLines(bytes, start, flags, &malformed);
  std::size_t i = 0;
  while (!AtEndOfFile(kNumber)) {
    Require(i < expected.size(), "more lines than the reference");
    Require(ReadTextLine(kNumber, flags) == expected[i], "line text");
    ++i;
    if ((flags & kCheckUtf8) && NumberedFileSawMalformedUtf8(kNumber)) break;
  }
  Require(i == expected.size(), "fewer lines than the reference");
  Require(((flags & kCheckUtf8) != 0 && NumberedFileSawMalformedUtf8(kNumber)) == malformed, "malformed flag");
  CloseNumberedFile(kNumber);
}

// Loads the bytes: a project by the reference reading loads with exactly its
// lines and exports; anything else is refused and leaves the model as it was.
// True when it loaded.
bool CheckLoad(const std::string& project, std::string_view bytes, ProjectData& model) {
  WriteProject(project, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  const std::vector<Text> expected = ReferenceLoadLines(bytes);
  const std::int64_t before = model.lineCount();
  const LoadResult result = loadProjectFile(model, TextFromUtf8(project)).result;
  if (!ReferenceIsProject(expected)) {
    Require(result == LoadResult::NotAProject, "refused as no project");
    Require(model.lineCount() == before, "the previous lines stay");
    return false;
  }
  Require(result == LoadResult::Loaded, "load");
  Require(model.lineCount() == static_cast<std::int64_t>(expected.size()), "line count");
  Text scratch;
  for (std::int64_t i = 0; i < model.lineCount(); ++i)
    Require(model.lines.at(i, scratch) == expected[static_cast<std::size_t>(i)], "stored line");
  Require(exportReportTo(model, TextFromUtf8(Folder() + "/report.html")).result == ExportResult::Written, "export");
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string project = Folder() + "/input.rpp";
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The bytes as they are, then behind a project's first line, so that every
  // input also goes through reading, scanning and the report.
  ProjectData model;
  CheckLoad(project, bytes, model);
  Require(CheckLoad(project, WithProjectHeader(bytes), model), "the input behind a project's first line loads");
  WriteProject(project, data, size);
  const Text projectPath = TextFromUtf8(project);

  // Two of the formats per input, chosen by its bytes, keep each run short.
  static const std::int32_t kFormats[] = {static_cast<std::int32_t>(TextFormat::Ansi),
                                          static_cast<std::int32_t>(TextFormat::Utf8),
                                          static_cast<std::int32_t>(TextFormat::Utf16Le),
                                          static_cast<std::int32_t>(TextFormat::Utf8) | kCheckUtf8, 0, 31};
  std::size_t pick = size;
  for (std::size_t i = 0; i < size && i < 64; ++i) pick = pick * 31 + data[i];
  CheckFormat(projectPath, bytes, kFormats[pick % 6]);
  CheckFormat(projectPath, bytes, kFormats[(pick / 6 + 1 + pick % 6) % 6]);
  return 0;
}
