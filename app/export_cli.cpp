#include "app/export_cli.h"

#include "core/loader.h"
#include "report/export.h"
#include "runtime/launch.h"
#include "runtime/paths.h"

#include <optional>

namespace {

constexpr TextView kProgram = u"quorvel-export";
constexpr TextView kVersion = u"quorvel-export 1.0.0";

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

int BadUsage(const CliStreams& streams, TextView problem) {
  streams.err(Text(kProgram) + u": " + Text(problem) + u" (try 'quorvel-export --help')");
  return 2;
}

bool IsSeparator(char16_t c) { return c == u'/' || c == FolderSeparator(); }

}  // namespace

int RunExportCli(const std::vector<Text>& arguments, const CliStreams& streams) {
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
      if (i + 1 >= arguments.size()) return BadUsage(streams, arg + u" needs a value");
      (arg == u"-o" ? options.outputFile : options.outputDir) = arguments[++i];
    } else if (arg.rfind(u"--output-dir=", 0) == 0) {
      options.outputDir = arg.substr(13);
    } else {
      return BadUsage(streams, u"unknown option " + arg);
    }
  }
  if (options.projects.empty()) return BadUsage(streams, u"no project file given");
  if (options.outputDir && options.beside) return BadUsage(streams, u"--output-dir and --beside exclude each other");
  if (options.outputFile && (options.outputDir || options.beside))
    return BadUsage(streams, u"-o excludes --output-dir and --beside");
  if (options.outputFile && options.projects.size() > 1) return BadUsage(streams, u"-o takes one project only");
  if (options.outputDir && options.outputDir->empty()) return BadUsage(streams, u"--output-dir needs a folder");
  const bool toStandardOutput = options.outputFile && *options.outputFile == u"-";
  if (toStandardOutput && options.open) return BadUsage(streams, u"--open cannot open standard output");

  Text outputDir;
  if (options.outputDir) {
    outputDir = AbsolutePath(*options.outputDir);
    if (outputDir.empty() || !IsSeparator(outputDir.back())) outputDir.push_back(FolderSeparator());
  }

  ProjectData project;
  bool allWritten = true;
  for (const Text& argument : options.projects) {
    const Text path = AbsolutePath(argument);
    if (loadProjectFile(project, path) != LoadResult::Loaded) {
      streams.err(Text(kProgram) + u": " + path + u": " + Text(kCannotOpenMessage));
      allWritten = false;
      continue;
    }
    Text report;
    ExportResult result;
    if (toStandardOutput) {
      result = exportReportToStandardOutput(project);
    } else {
      if (options.outputFile) report = AbsolutePath(*options.outputFile);
      else report = reportPath(project, options.beside ? project.info.projectFolder
                                        : options.outputDir ? outputDir : CurrentDirectory());
      result = exportReportTo(project, report);
    }
    if (result != ExportResult::Written) {
      streams.err(Text(kProgram) + u": " + path + u": " + Text(exportMessage(result)));
      allWritten = false;
      continue;
    }
    if (toStandardOutput) continue;
    streams.out(report);
    if (options.open && !LaunchDocument(report))
      streams.err(Text(kProgram) + u": " + report + u": could not be opened");
  }
  return allWritten ? 0 : 1;
}
