#include "core/loader.h"

#include "core/scanner.h"
#include "runtime/dates.h"
#include "runtime/numbered_file.h"
#include "runtime/paths.h"

namespace {

constexpr std::int64_t kFile = 0;

// Every line that remains, without its leading spaces, into the line table;
// with kCheckUtf8 up to the first line that is not well-formed UTF-8.
void ReadLines(ProjectData& project, std::int32_t format) {
  ReadLinesWithoutLeadingSpaces(kFile, format, project.lines.arena());
}

}  // namespace

LoadResult loadProjectFile(ProjectData& project, TextView path) {
  ProjectInfo& info = project.info;
  info.projectPath = Text(path);
  const Text name = FileNamePart(path);
  info.projectName = Text(TextHead(name, TextLength(name) - 4));
  info.projectFolder = PathPart(path);
  info.projectDate = FileDateText(path);

  if (OpenFileForReading(kFile, path) == 0) {
    info.projectPath.clear();  // no project chosen: Export must not write stale tracks
    return LoadResult::CannotOpen;
  }
  project.resetScannedContent();
  project.lines.reserve(NumberedFileSize(kFile));
  const TextFormat format = DetectTextFormat(kFile);
  if (format == TextFormat::Ansi) {
    // No byte-order mark: REAPER writes UTF-8 without one. Read as UTF-8 and
    // fall back to the ANSI code page when the bytes are not well-formed UTF-8.
    const std::int64_t start = NumberedFilePosition(kFile);
    ReadLines(project, static_cast<std::int32_t>(TextFormat::Utf8) | kCheckUtf8);
    if (NumberedFileSawMalformedUtf8(kFile)) {
      project.lines.clear();
      project.lines.reserve(NumberedFileSize(kFile));
      SetNumberedFilePosition(kFile, start);
      ReadLines(project, static_cast<std::int32_t>(TextFormat::Ansi));
    }
  } else {
    ReadLines(project, static_cast<std::int32_t>(format));
  }
  CloseNumberedFile(kFile);
  scanProject(project);
  return LoadResult::Loaded;
}
