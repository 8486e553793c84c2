#include "app/export_cli.h"

#include "app/version.h"
#include "core/loader.h"
#include "report/export.h"
#include "runtime/launch.h"
#include "runtime/paths.h"
#include "runtime/printable_name.h"

#include <optional>

namespace {

constexpr TextView kProgram = u"quorvel-export";
constexpr TextView kVersion = u"quorvel-export " QUORVEL_VERSION;
constexpr TextView kNoCurrentFolder = u"the current folder cannot be read";
constexpr TextView kNoHtmlProgram = u"no program is set to open HTML files";

constexpr TextView kUsage[] = {
    u"Usage: quorvel-export [--output-dir DIR | --beside] [-o FILE|-] [--open] PROJECT.rpp...",
    u"Writes the HTML report of each REAPER project, as the Quorvel window's Export does.",
    u"",
    u"  --output-dir DIR  write DIR/<project name>.html (default: the current directory)",
    u"  --beside          write the report into the project's own folder",
    u"  -o FILE           write the report to FILE (one project only); -o - writes to standard output",
    u"  --open            open each report with the program associated with HTML files",
    u"  --help            show this help and exit",
    u"  --version         show the version and exit",
    u"",
    u"Exit status: 0 when every report was written, 1 when any failed, 2 for bad usage.",
};

struct Options {
  std::optional<Text> outputDir;
  bool beside = false;
  std::optional<Text> outputFile;
  bool open = false;
  std::vector<Text> projects;
};

int badUsage(const CliStreams& streams, TextView problem) {
  streams.err(Text(kProgram) + u": " + Text(problem) + u" (try 'quorvel-export --help')");
  return 2;
}

bool isSeparator(char16_t c) { return c == u'/' || c == FolderSeparator(); }

// "quorvel-export: PATH: MESSAGE (REASON)".
void reportFailure(const CliStreams& streams, TextView path, TextView message, TextView reason) {
  Text line = Text(kProgram) + u": " + PrintableName(path) + u": " + Text(message);
  if (!reason.empty()) line += u" (" + PrintableName(reason) + u")";
  streams.err(line);
}

// What became of a project's report, after the project's path: "may not
// create REPORT" or "Couldn't write REPORT" (standard output when `report`
// is empty).
Text failedReportMessage(ExportResult result, TextView report) {
  const Text target = report.empty() ? Text(u"standard output") : PrintableName(report);
  return (result == ExportResult::WriteFailed ? u"Couldn't write " : u"may not create ") + target;
}

// A report already written in this run, and the project it came from.
struct WrittenReport {
  FileIdentity file;
  FileIdentity project;
  Text projectPath;
};

}  // namespace

int runExportCli(const std::vector<Text>& arguments, const CliStreams& streams) {
  Options options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const Text& arg = arguments[i];
    if (optionsEnded || arg.empty() || arg[0] != u'-' || arg == u"-") {
      options.projects.push_back(arg);
      continue;
    }
    if (arg == u"--") {
      optionsEnded = true;
    } else if (arg == u"--help" || arg == u"-h") {
      for (TextView line : kUsage) streams.out(line);
      return 0;
    } else if (arg == u"--version") {
      streams.out(kVersion);
      return 0;
    } else if (arg == u"--beside") {
      options.beside = true;
    } else if (arg == u"--open") {
      options.open = true;
    } else if (arg == u"--output-dir" || arg == u"-o") {
      if (i + 1 >= arguments.size()) return badUsage(streams, arg + u" needs a value");
      (arg == u"-o" ? options.outputFile : options.outputDir) = arguments[++i];
    } else if (arg.rfind(u"--output-dir=", 0) == 0) {
      options.outputDir = arg.substr(13);
    } else {
      return badUsage(streams, u"unknown option " + arg);
    }
  }
  if (options.projects.empty()) return badUsage(streams, u"no project file given");
  if (options.outputDir && options.beside) return badUsage(streams, u"--output-dir and --beside exclude each other");
  if (options.outputFile && (options.outputDir || options.beside))
    return badUsage(streams, u"-o excludes --output-dir and --beside");
  if (options.outputFile && options.projects.size() > 1) return badUsage(streams, u"-o takes one project only");
  if (options.outputDir && options.outputDir->empty()) return badUsage(streams, u"--output-dir needs a folder");
  if (options.outputFile && options.outputFile->empty()) return badUsage(streams, u"-o needs a file name");
  const bool toStandardOutput = options.outputFile && *options.outputFile == u"-";
  if (toStandardOutput && options.open) return badUsage(streams, u"--open cannot open standard output");

  // Where the reports go: a folder ending in its separator, or -o's file.
  // Empty when a relative name meets a current folder that cannot be read.
  Text outputDir;
  if (options.outputDir) {
    outputDir = AbsolutePath(*options.outputDir);
    if (!outputDir.empty() && !isSeparator(outputDir.back())) outputDir.push_back(FolderSeparator());
  } else if (!options.beside && !options.outputFile) {
    outputDir = CurrentDirectory();
  }
  const Text outputFile = options.outputFile && !toStandardOutput ? AbsolutePath(*options.outputFile) : Text();

  // No report may land on any project of the run, whatever name leads there.
  std::vector<Text> projectPaths;
  std::vector<FileIdentity> projects;
  for (const Text& argument : options.projects) {
    projectPaths.push_back(AbsolutePath(argument));
    projects.push_back(OsPathIdentity(projectPaths.back()));
  }

  std::vector<WrittenReport> written;
  bool allWritten = true;
  bool listed = true;
  for (std::size_t p = 0; p < options.projects.size(); ++p) {
    const Text& path = projectPaths[p];
    const TextView shown = path.empty() ? TextView(options.projects[p]) : TextView(path);
    ProjectData project;  // each project alone in memory
    const LoadOutcome loaded =
        path.empty() ? LoadOutcome{LoadResult::CannotOpen, Text(kNoCurrentFolder)} : loadProjectFile(project, path);
    if (loaded.result != LoadResult::Loaded) {
      if (loaded.result == LoadResult::NotAProject)
        reportFailure(streams, shown, kNotAProjectMessage, {});
      else
        reportFailure(streams, shown, kCannotOpenMessage, loaded.reason);
      allWritten = false;
      continue;
    }
    Text report;
    ExportOutcome outcome;
    if (toStandardOutput) {
      report = u"-";
      outcome = exportReportToStandardOutput(project, projects);
    } else {
      const bool needsFolder = !options.outputFile;
      const Text folder = options.beside ? project.info.projectFolder : outputDir;
      report = options.outputFile ? outputFile : reportPath(project, folder);
      const FileIdentity there = OsPathIdentity(report);
      const WrittenReport* first = nullptr;
      for (const WrittenReport& w : written)
        if (w.file == there && !(w.project == project.info.projectFile)) first = &w;
      if ((needsFolder && folder.empty() && !options.beside) || (options.outputFile && outputFile.empty())) {
        outcome.result = ExportResult::CannotCreate;
        outcome.reason = Text(kNoCurrentFolder);
        if (report.empty()) report = *options.outputFile;
      } else if (first) {
        outcome.result = ExportResult::CannotCreate;
        outcome.reason = u"already written for " + first->projectPath;
      } else {
        outcome = exportReportTo(project, report, projects);
      }
    }
    if (outcome.result != ExportResult::Written) {
      reportFailure(streams, shown, failedReportMessage(outcome.result, toStandardOutput ? Text() : report),
                    outcome.reason);
      allWritten = false;
      continue;
    }
    written.push_back({outcome.report, project.info.projectFile, path});
    if (outcome.toStandardOutput) continue;  // its name is not printed into it
    if (!streams.out(PrintableName(report))) listed = false;
    if (!options.open) continue;
    const LaunchOutcome opened = LaunchDocument(report);
    if (opened.result != LaunchResult::Started)
      reportFailure(streams, shown, PrintableName(report) + u" could not be opened",
                    opened.result == LaunchResult::NoProgram ? TextView(kNoHtmlProgram) : TextView(opened.reason));
  }
  if (!listed) streams.err(Text(kProgram) + u": the list of written reports could not be printed on standard output");
  return allWritten && listed ? 0 : 1;
}
