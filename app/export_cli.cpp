#include "app/export_cli.h"

#include "app/version.h"
#include "core/loader.h"
#include "report/export.h"
#include "runtime/launch.h"
#include "runtime/paths.h"
#include "runtime/printable_name.h"

#include <optional>

namespace {

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
constexpr CliProgram kProgram{u"quorvel-export", u"quorvel-export " QUORVEL_VERSION, kUsage};

struct Options {
  std::optional<Text> outputDir;
  bool beside = false;
  std::optional<Text> outputFile;
  bool open = false;
  std::vector<Text> projects;
};

// The options' values, or the exit status when the run ends here (-1 to go on).
int parseArguments(const std::vector<Text>& arguments, const CliStreams& streams, Options& options) {
  ArgumentScanner args(arguments);
  while (args.next()) {
    const Text& name = args.name();
    if (args.isOperand()) {
      options.projects.push_back(args.argument());
    } else if (args.hasAttachedValue() && name != u"--output-dir") {
      return badUsage(kProgram, streams, u"unknown option " + args.argument());
    } else if (const std::optional<int> status = answerInformationOption(kProgram, streams, name)) {
      return *status;
    } else if (name == u"--beside") {
      options.beside = true;
    } else if (name == u"--open") {
      options.open = true;
    } else if (name == u"--output-dir" || name == u"-o") {
      std::optional<Text> value = args.takeValue();
      if (!value) return badUsage(kProgram, streams, name + u" needs a value");
      (name == u"-o" ? options.outputFile : options.outputDir) = std::move(value);
    } else {
      return badUsage(kProgram, streams, u"unknown option " + args.argument());
    }
  }
  auto bad = [&](TextView problem) { return badUsage(kProgram, streams, problem); };
  if (options.projects.empty()) return bad(u"no project file given");
  if (options.outputDir && options.beside) return bad(u"--output-dir and --beside exclude each other");
  if (options.outputFile && (options.outputDir || options.beside)) return bad(u"-o excludes --output-dir and --beside");
  if (options.outputFile && options.projects.size() > 1) return bad(u"-o takes one project only");
  if (options.outputDir && options.outputDir->empty()) return bad(u"--output-dir needs a folder");
  if (options.outputFile && options.outputFile->empty()) return bad(u"-o needs a file name");
  if (options.outputFile && *options.outputFile == u"-" && options.open)
    return bad(u"--open cannot open standard output");
  return -1;
}

// What became of a project's report, after the project's path: "may not
// create REPORT" or "Couldn't write REPORT" (standard output when `report`
// is empty).
Text failedReportMessage(ExportResult result, TextView report) {
  const Text target = report.empty() ? Text(u"standard output") : PrintableName(report);
  return (result == ExportResult::WriteFailed ? u"Couldn't write " : u"may not create ") + target;
}

// Where the reports go and what they may not land on, decided before any
// project is read.
struct ReportsPlan {
  bool toStandardOutput = false;
  // A folder ending in its separator; empty with --beside or -o, or when a
  // relative name meets a current folder that cannot be read.
  Text outputDir;
  Text outputFile;  // -o's file made absolute; empty for standard output or when it cannot be
  std::vector<Text> projectPaths;  // each project's absolute path, empty when it cannot be had
  std::vector<FileIdentity> projects;  // no report may land on any project of the run
};

ReportsPlan planReports(const Options& options) {
  ReportsPlan plan;
  plan.toStandardOutput = options.outputFile && *options.outputFile == u"-";
  if (options.outputDir) {
    plan.outputDir = AbsolutePath(*options.outputDir);
    if (!plan.outputDir.empty() && !IsSeparator(plan.outputDir.back())) plan.outputDir.push_back(FolderSeparator());
  } else if (!options.beside && !options.outputFile) {
    plan.outputDir = CurrentDirectory();
  }
  if (options.outputFile && !plan.toStandardOutput) plan.outputFile = AbsolutePath(*options.outputFile);
  for (const Text& argument : options.projects) {
    plan.projectPaths.push_back(AbsolutePath(argument));
    plan.projects.push_back(OsPathIdentity(plan.projectPaths.back()));
  }
  return plan;
}

// A report already written in this run, and the project it came from.
struct WrittenReport {
  FileIdentity file;
  FileIdentity project;
  Text projectPath;
};

// The run itself: each project loaded alone, its report written, its path
// printed (and opened when asked).
class ExportRun {
 public:
  ExportRun(const Options& options, const ReportsPlan& plan, const CliStreams& streams)
      : options_(options), plan_(plan), streams_(streams) {}

  void exportProject(std::size_t p) {
    const Text& path = plan_.projectPaths[p];
    const TextView shown = path.empty() ? TextView(options_.projects[p]) : TextView(path);
    ProjectData project;  // each project alone in memory
    if (!load(project, path, shown)) return;
    Text report;
    const ExportOutcome outcome = writeReport(project, report);
    if (outcome.result != ExportResult::Written) {
      fail(shown, failedReportMessage(outcome.result, plan_.toStandardOutput ? Text() : report), outcome.reason);
      return;
    }
    written_.push_back({outcome.report, project.info.projectFile, path});
    if (outcome.toStandardOutput) return;  // its name is not printed into it
    if (!streams_.out(PrintableName(report))) listed_ = false;
    if (options_.open) openReport(shown, report);
  }

  // The exit status, once every project had its turn.
  int finish() const {
    if (!listed_) printNote(kProgram, streams_, u"the list of written reports could not be printed on standard output");
    return allWritten_ && listed_ ? 0 : 1;
  }

 private:
  void fail(TextView path, TextView message, TextView reason) {
    printFailure(kProgram, streams_, path, message, reason);
    allWritten_ = false;
  }

  bool load(ProjectData& project, const Text& path, TextView shown) {
    const LoadOutcome loaded =
        path.empty() ? LoadOutcome{LoadResult::CannotOpen, Text(kNoCurrentFolder)} : loadProjectFile(project, path);
    if (loaded.result == LoadResult::Loaded) return true;
    if (loaded.result == LoadResult::NotAProject) fail(shown, kNotAProjectMessage, {});
    else fail(shown, kCannotOpenMessage, loaded.reason);
    return false;
  }

  // Where the project's report goes (`report`) and what became of it.
  ExportOutcome writeReport(const ProjectData& project, Text& report) const {
    ExportOutcome outcome;
    if (plan_.toStandardOutput) {
      report = Text(u"-");
      return exportReportToStandardOutput(project, plan_.projects);
    }
    const bool needsFolder = !options_.outputFile;
    const Text folder = options_.beside ? project.info.projectFolder : plan_.outputDir;
    report = options_.outputFile ? plan_.outputFile : reportPath(project, folder);
    const FileIdentity there = OsPathIdentity(report);
    const WrittenReport* first = nullptr;
    for (const WrittenReport& w : written_)
      if (w.file == there && !(w.project == project.info.projectFile)) first = &w;
    if ((needsFolder && folder.empty() && !options_.beside) || (options_.outputFile && plan_.outputFile.empty())) {
      outcome.result = ExportResult::CannotCreate;
      outcome.reason = Text(kNoCurrentFolder);
      if (report.empty()) report = *options_.outputFile;
    } else if (first) {
      outcome.result = ExportResult::CannotCreate;
      outcome.reason = u"already written for " + first->projectPath;
    } else {
      outcome = exportReportTo(project, report, plan_.projects);
    }
    return outcome;
  }

  void openReport(TextView shown, const Text& report) {
    const LaunchOutcome opened = LaunchDocument(report);
    if (opened.result != LaunchResult::Started)
      printFailure(kProgram, streams_, shown, PrintableName(report) + u" could not be opened",
                   opened.result == LaunchResult::NoProgram ? TextView(kNoHtmlProgram) : TextView(opened.reason));
  }

  const Options& options_;
  const ReportsPlan& plan_;
  const CliStreams& streams_;
  std::vector<WrittenReport> written_;
  bool allWritten_ = true;
  bool listed_ = true;
};

}  // namespace

int runExportCli(const std::vector<Text>& arguments, const CliStreams& streams) {
  Options options;
  if (const int status = parseArguments(arguments, streams, options); status >= 0) return status;
  const ReportsPlan plan = planReports(options);
  ExportRun run(options, plan, streams);
  for (std::size_t p = 0; p < options.projects.size(); ++p) run.exportProject(p);
  return run.finish();
}
