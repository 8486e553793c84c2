#include "core/loader.h"

#include "core/project_header.h"
#include "core/scanner.h"
#include "runtime/dates.h"
#include "runtime/memory.h"
#include "runtime/numbered_file.h"
#include "runtime/paths.h"

#include <new>

namespace {

bool opensAsProject(const LineTable& lines) {
  if (lines.count() == 0) return false;
  std::string_view bytes;
  if (lines.narrow(0, bytes)) return isProjectHeader(bytes);
  Text scratch;
  return isProjectHeader(lines.at(0, scratch));
}

// Every line of the open file into `project`, without leading spaces, and
// scans them; false, with nothing scanned, when the file is not a project
// (core/project_header.h). A file without a byte-order mark is read as UTF-8 (as REAPER
// writes it) and read again in the ANSI code page when its bytes are not
// well-formed UTF-8. Memory is taken as the lines need it.
bool readAndScan(TextFileReader& reader, ProjectData& project) {
  const TextFormat format = reader.detectFormat();
  LineArena& lines = project.lines.arena();
  if (format == TextFormat::Ansi) {
    const std::int64_t start = reader.position();
    reader.readLinesWithoutLeadingSpaces(static_cast<std::int32_t>(TextFormat::Utf8) | kCheckUtf8, lines);
    if (reader.sawMalformedUtf8()) {
      lines.clear();
      reader.setPosition(start);
      reader.readLinesWithoutLeadingSpaces(static_cast<std::int32_t>(TextFormat::Ansi), lines);
    }
  } else {
    reader.readLinesWithoutLeadingSpaces(static_cast<std::int32_t>(format), lines);
  }
  reader.close();
  if (!opensAsProject(project.lines)) return false;
  scanProject(project);
  return true;
}

LoadOutcome refused(ProjectInfo& info, TextView reason, LoadResult result) {
  info.projectPath.clear();  // no project chosen: Export must not write stale tracks
  return LoadOutcome{result, Text(reason)};
}

LoadOutcome cannotOpen(ProjectInfo& info, std::int64_t error) {
  return refused(info, OsErrorText(error), LoadResult::CannotOpen);
}

}  // namespace

LoadOutcome loadProjectFile(ProjectData& project, TextView path) {
  ProjectInfo& info = project.info;
  info.projectPath = Text(path);
  const Text name = FileNamePart(path);
  info.projectName = Text(TextHead(name, TextLength(name) - 4));
  info.projectFolder = PathPart(path);
  info.projectDate = FileDateText(path);

  TextFileReader reader;
  if (!reader.open(path)) return cannotOpen(info, OsLastError());
  try {
    // The new content is built apart and replaces the old one only once it
    // is complete: a project that does not fit in memory leaves the previous
    // one as it was. It may take what memory the machine has free now; a
    // project that needs more fails here instead of the system ending the
    // program for it.
    ProjectData loaded;
    {
      const std::int64_t available = OsAvailableMemory();
      MemoryBudget budget(available < 0 ? -1 : available / 10 * 9);
      const FileIdentity file = reader.identity();
      if (!readAndScan(reader, loaded)) return refused(info, kNotAProjectMessage, LoadResult::NotAProject);
      info.projectFile = file;
    }
    project.takeScannedContent(std::move(loaded));
  } catch (const std::bad_alloc&) {
    return cannotOpen(info, kErrorNotEnoughMemory);
  }
  return LoadOutcome{};
}
