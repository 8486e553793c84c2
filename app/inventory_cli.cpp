#include "app/inventory_cli.h"

#include "app/version.h"
#include "core/archive_totals.h"
#include "core/backup_owners.h"
#include "core/in_order_reading.h"
#include "runtime/path_text.h"
#include "core/plugin_caches.h"
#include "core/project_finder.h"
#include "report/inventory_output.h"
#include "runtime/dates.h"
#include "runtime/file_tree.h"
#include "runtime/os_file.h"
#include "runtime/output_file.h"
#include "runtime/paths.h"
#include "runtime/printable_name.h"
#include "runtime/scratch_file.h"
#include "runtime/utf8.h"

#include <algorithm>
#include <functional>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <thread>

namespace {

// More threads than this would only wait: the reading is bounded by the
// window of projects read ahead, never by the number of threads.
constexpr unsigned kMaxJobs = 256;

constexpr TextView kUsage[] = {
    u"Usage: quorvel-inventory [--reaper-resources DIR | --no-installed-check] [--format html|json|csv]",
    u"                         [--csv-table instances|projects|media] [-o FILE|-] [--jobs N] [--include-backups]",
    u"                         [--quiet] PATH...",
    u"Lists the plug-ins and media files that REAPER projects need, and which of them are missing.",
    u"",
    u"  PATH                     a project file, or a folder walked for *.rpp files",
    u"  --reaper-resources DIR   check plug-ins against the caches in DIR (default: REAPER's own folder)",
    u"  --no-installed-check     do not check plug-ins: every status is \"unknown\"",
    u"  --format FORMAT          html (default), json or csv",
    u"  --csv-table TABLE        the CSV's rows: instances (default, one per plug-in instance), projects",
    u"                           (one per project, with its status) or media (one per media file named)",
    u"  -o FILE                  write the inventory to FILE (default: inventory.html, .json or .csv",
    u"                           in the current folder); -o - writes to standard output",
    u"  --jobs N                 read N projects at once, 1 to 256 (default: the number of processors)",
    u"  --include-backups        read *.rpp-bak files too, each under the project it backs up",
    u"  --quiet                  print nothing but errors: no progress line, no notes, no output path",
    u"  --help                   show this help and exit",
    u"  --version                show the version and exit",
    u"",
    u"Exit status: 0 when every project was read, 1 when any could not be, 2 for bad usage.",
};
constexpr CliProgram kProgram{u"quorvel-inventory", u"quorvel-inventory " QUORVEL_VERSION, kUsage};
// What Run's steps return to let the run go on (else the exit status).
constexpr int kGoOn = -1;

struct Options {
  std::optional<Text> resources;
  bool noInstalledCheck = false;
  InventoryFormat format = InventoryFormat::Html;
  bool formatNamed = false;
  std::optional<CsvTable> csvTable;
  std::optional<Text> output;
  unsigned jobs = 0;
  bool includeBackups = false;
  bool quiet = false;
  std::vector<Text> paths;
};

// "" when `value` is a number of jobs, else what is wrong with it.
Text parseJobs(TextView value, unsigned& jobs) {
  const Text shown = u"--jobs " + Text(value);
  if (value.empty()) return u"--jobs needs a whole number of 1 or more";
  unsigned n = 0;
  bool tooLarge = false;
  for (char16_t c : value) {
    if (c < u'0' || c > u'9') return u"--jobs needs a whole number of 1 or more";
    n = n * 10 + static_cast<unsigned>(c - u'0');
    tooLarge = tooLarge || n > kMaxJobs;
    if (tooLarge) n = kMaxJobs + 1;  // no wrap-around, however many digits
  }
  if (tooLarge) return shown + u" is too large: at most " + TextFromUtf8(std::to_string(kMaxJobs));
  if (n == 0) return u"--jobs needs a whole number of 1 or more";
  jobs = n;
  return {};
}

// "" when `value` names a CSV table, else what is wrong with it.
Text parseCsvTable(TextView value, std::optional<CsvTable>& table) {
  if (value == u"instances") table = CsvTable::Instances;
  else if (value == u"projects") table = CsvTable::Projects;
  else if (value == u"media") table = CsvTable::Media;
  else return u"unknown CSV table " + Text(value) + u" (instances, projects or media)";
  return {};
}

// An option's value (not empty) into `options`: "" when it is one, else what
// is wrong with it.
Text setValue(TextView name, const Text& value, Options& options) {
  if (name == u"--reaper-resources") {
    options.resources = value;
  } else if (name == u"-o") {
    options.output = value;
  } else if (name == u"--jobs") {
    return parseJobs(value, options.jobs);
  } else if (name == u"--csv-table") {
    return parseCsvTable(value, options.csvTable);
  } else if (options.formatNamed = true; value == u"html") {  // --format from here on
    options.format = InventoryFormat::Html;
  } else if (value == u"json") {
    options.format = InventoryFormat::Json;
  } else if (value == u"csv") {
    options.format = InventoryFormat::Csv;
  } else {
    return u"unknown format " + value + u" (html, json or csv)";
  }
  return {};
}

// The options' values, or the exit status when the run ends here (kGoOn to go on).
int parseArguments(const std::vector<Text>& arguments, const CliStreams& streams, Options& options) {
  ArgumentScanner args(arguments);
  while (args.next()) {
    if (args.isOperand()) {
      options.paths.push_back(args.argument());
      continue;
    }
    // "--name=value" and "--name value" alike.
    const Text& name = args.name();
    const bool takesValue = name == u"--reaper-resources" || name == u"--format" || name == u"-o" || name == u"--jobs" ||
                            name == u"--csv-table";
    if (!takesValue && args.hasAttachedValue()) return badUsage(kProgram, streams, name + u" takes no value");
    if (const std::optional<int> status = answerInformationOption(kProgram, streams, name)) {
      return *status;
    } else if (name == u"--no-installed-check") {
      options.noInstalledCheck = true;
    } else if (name == u"--include-backups") {
      options.includeBackups = true;
    } else if (name == u"--quiet" || name == u"-q") {
      options.quiet = true;
    } else if (takesValue) {
      const std::optional<Text> v = args.takeValue();
      if (!v) return badUsage(kProgram, streams, name + u" needs a value");
      if (v->empty()) return badUsage(kProgram, streams, name + u" needs a value that is not empty");
      if (const Text problem = setValue(name, *v, options); !problem.empty()) return badUsage(kProgram, streams, problem);
    } else {
      return badUsage(kProgram, streams, u"unknown option " + args.argument());
    }
  }
  if (options.paths.empty()) return badUsage(kProgram, streams, u"no project or folder given");
  for (const Text& path : options.paths)
    if (path.empty()) return badUsage(kProgram, streams, u"an empty PATH names no project or folder");
  // A CSV table alone asks for CSV.
  if (options.csvTable && options.formatNamed && options.format != InventoryFormat::Csv)
    return badUsage(kProgram, streams, u"--csv-table is for --format csv");
  if (options.csvTable) options.format = InventoryFormat::Csv;
  if (options.resources && options.noInstalledCheck)
    return badUsage(kProgram, streams, u"--reaper-resources and --no-installed-check exclude each other");
  return kGoOn;
}

// Now in UTC, ISO 8601; SOURCE_DATE_EPOCH (seconds), when set, stands for
// now, so that a build or a test can make the same bytes twice.
std::string generatedNow() {
  auto seconds = static_cast<Timestamp>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
  if (const char* fixed = std::getenv("SOURCE_DATE_EPOCH"); fixed != nullptr && *fixed != '\0') {
    char* end = nullptr;
    const long long value = std::strtoll(fixed, &end, 10);
    if (*end == '\0' && value >= 0) seconds = value;
  }
  return TextToUtf8(FormatTimestamp(u"%yyyy-%mm-%ddT%hh:%ii:%ssZ", seconds));
}

std::string formatDuration(double seconds) {
  const auto s = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (s >= 3600) std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

// How `total` projects go to `jobs` threads. At most 256 projects are read
// ahead of the one written next, so that what they hold (up to 64 KiB each
// set aside in memory, a scratch file beyond) stays small. They go to the
// threads in batches of up to 16, small enough that each thread gets some 32
// batches of the archive (its end is shared out too) and that the window
// holds two batches a thread.
InOrderReading readingPlan(std::size_t total, unsigned jobs) {
  constexpr std::size_t kMostAhead = 256;
  InOrderReading reading;
  reading.count = total;
  reading.jobs = jobs;
  reading.batch = std::clamp<std::size_t>(
      std::min(total / (std::size_t{32} * jobs), kMostAhead / (std::size_t{2} * jobs)), 1, 16);
  reading.window = std::min(std::size_t{4} * jobs * reading.batch, kMostAhead);
  return reading;
}

// "12/40 projects, 3.5 MB/s, 0:07 left".
std::string progressLine(std::size_t done, std::size_t total, std::int64_t bytes, double elapsed) {
  char line[160];
  std::snprintf(line, sizeof line, "%zu/%zu projects, %.1f MB/s, %s left", done, total,
                elapsed > 0 ? static_cast<double>(bytes) / 1e6 / elapsed : 0.0,
                done == 0 ? "?:??"
                          : formatDuration(elapsed * static_cast<double>(total - done) / static_cast<double>(done)).c_str());
  return line;
}

// One run, step by step: the REAPER resource folder, the output, the
// projects found, the writer, the projects read, and what is printed at the
// end. A step returns kGoOn, or the exit status when the run ends there.
class InventoryRun {
 public:
  InventoryRun(const Options& options, const InventoryStreams& streams)
      : options_(options), streams_(streams) {}

  int run() {
    for (int (InventoryRun::*step)() : {&InventoryRun::useResourceFolder, &InventoryRun::openOutput,
                                        &InventoryRun::guardCaches, &InventoryRun::walkPaths,
                                        &InventoryRun::openWriter})
      if (const int status = (this->*step)(); status != kGoOn) return status;
    return report(readProjects());
  }

 private:
  void fail(TextView path, TextView message) const { printFailure(kProgram, streams_, path, message); }
  // Notes that the outputs carry too: not printed with --quiet.
  void note(TextView line) const {
    if (!options_.quiet) printNote(kProgram, streams_, line);
  }
  // The output given up, and why: exit status 1.
  int refuse(TextView why) {
    output_.abandon();
    fail(shownOutput_, u"may not create the file! (" + Text(why) + u")");
    return 1;
  }

  // The resource folder: named, REAPER's own, or none. A folder named with
  // no cache in it is a mistake, not an archive with nothing missing.
  int useResourceFolder() {
    if (options_.noInstalledCheck) return kGoOn;
    Text folder;
    if (options_.resources) {
      const Text named = PrintableName(*options_.resources);
      folder = AbsolutePath(*options_.resources, PathNames::AsGiven);
      if (folder.empty() || PathKindOf(folder) != PathKind::Folder)
        return badUsage(kProgram, streams_, u"--reaper-resources " + named + u" is not a folder");
      if (!caches_.loadFolder(folder))
        return badUsage(kProgram, streams_,
                        u"--reaper-resources " + named + u" cannot be read (" + OsErrorText(OsLastError()) + u")");
      if (caches_.files().empty() && !caches_.hasEffectsFolder())
        return badUsage(kProgram, streams_, u"no REAPER plug-in caches in " + named + u" (looked for " +
                                                TextFromUtf8(PluginCaches::kNamesLookedFor) + u")");
    } else {
      const Text settings = UserSettingsFolder();
      if (!settings.empty()) folder = settings + FolderSeparator() + u"REAPER";
      if (folder.empty() || PathKindOf(folder) != PathKind::Folder) {
        note(u"no REAPER resource folder" + (folder.empty() ? Text() : u" at " + PrintableName(folder)) +
             u": plug-ins are not checked (name one with --reaper-resources DIR)");
        return kGoOn;
      }
      if (!caches_.loadFolder(folder) || (caches_.files().empty() && !caches_.hasEffectsFolder())) {
        note(u"no REAPER plug-in caches in " + PrintableName(folder) +
             u": plug-ins are not checked (name a folder with --reaper-resources DIR)");
        return kGoOn;
      }
    }
    resourcesShown_ = PathText(folder);
    for (const CacheFile& cache : caches_.files())
      if (!cache.problem.empty())
        note(PrintableName(cache.path) + u": " + TextFromUtf8(cache.problem) +
             u"; plug-ins that only it could list are \"unknown\"");
    return kGoOn;
  }

  // The output, opened before any project is read so that a wrong name
  // fails at once.
  int openOutput() {
    if (options_.output && *options_.output == u"-") {
      shownOutput_ = u"-";
      if (output_.createStandardOutput()) return kGoOn;
      fail(u"-", u"may not create the file! (" + output_.failureReason() + u")");
      return 1;
    }
    const TextView extension = options_.format == InventoryFormat::Html   ? u"html"
                               : options_.format == InventoryFormat::Json ? u"json"
                                                                          : u"csv";
    const Text named = options_.output ? *options_.output : u"inventory." + Text(extension);
    outputPath_ = AbsolutePath(named, PathNames::AsGiven);
    shownOutput_ = outputPath_;
    if (outputPath_.empty()) {
      fail(named, u"may not create the file! (the current folder cannot be read)");
      return 1;
    }
    if (output_.create(outputPath_)) return kGoOn;
    fail(outputPath_, u"may not create the file! (" + output_.failureReason() + u")");
    return 1;
  }

  // Never into a file the run reads or checks: the file that is there now
  // (or that standard output is) against each of them, before a byte goes
  // there and before the new file takes its place. Standard output, when
  // the output's path is to be printed there, is held to the same: the line
  // is not printed onto a file the run reads.
  int guardCaches() {
    target_ = output_.existing();
    if (!options_.quiet && !output_.writesStandardOutput()) {
      if (const OsHandle standardOutput = OsDuplicateStandardOutput(); standardOutput != kInvalidHandle) {
        if (OsHandleIsRegularFile(standardOutput)) printedTo_ = OsHandleIdentity(standardOutput);
        OsClose(standardOutput);
      }
    }
    for (const CacheFile& cache : caches_.files()) {
      if (cache.identity == target_) return refuse(kCacheFile);
      if (cache.identity == printedTo_) printedToRead_ = kCacheFile;
    }
    return kGoOn;
  }

  // Errors are kept (with their paths in PathText form) until the end; of
  // the projects only their paths, packed and sorted.
  int walkPaths() {
    std::vector<Text> roots;
    for (const Text& path : options_.paths) {
      Text full = AbsolutePath(path, PathNames::AsGiven);
      if (full.empty()) totals_.addError(PathText(path), "the current folder cannot be read");
      else roots.push_back(std::move(full));
    }
    found_ = findProjects(roots, options_.includeBackups);
    for (const FoundProjects::Problem& problem : found_.problems)
      totals_.addError(PathText(problem.path), problem.message);
    const ProjectPaths& projects = found_.projects;
    for (std::size_t i = 0; i < projects.size(); ++i) {
      if (projects.identity(i) == target_) return refuse(kProjectFile);
      if (projects.identity(i) == printedTo_) printedToRead_ = kProjectFile;
    }
    return kGoOn;
  }

  // A regular file written in place (standard output sent to a file) gets
  // nothing until every media file was checked against it: the inventory
  // waits in a scratch file meanwhile. The parts of the output that come
  // after the summary are set aside beside the output (where its bytes must
  // fit anyway), or in the folder for temporary files when the output is a
  // device, a pipe or stdout.
  int openWriter() {
    holdBack_ = output_.writesDirectly() && output_.writesRegularFile();
    if (holdBack_ && !heldBack_.create(u"")) {
      output_.abandon();
      fail(shownOutput_, u"may not create the file! (temporary file: " + heldBack_.failureReason() + u")");
      return 1;
    }
    writer_ = makeInventoryWriter(options_.format, resourcesShown_, sink_, {generatedNow(), QUORVEL_VERSION},
                                  options_.csvTable.value_or(CsvTable::Instances));
    if (writer_->open(scratchFolder())) return kGoOn;
    output_.abandon();
    fail(shownOutput_, u"may not create the file! (temporary file: " + writer_->failureReason() + u")");
    return 1;
  }

  Text scratchFolder() const { return output_.writesDirectly() ? Text() : FolderOf(outputPath_); }

  // The projects, read by a pool of threads and written in path order as
  // soon as each and every one before it is read; then the totals. True when
  // the whole output was written.
  bool readProjects() {
    const ProjectPaths& projects = found_.projects;
    const std::size_t total = projects.size();
    const unsigned jobs =
        options_.jobs != 0 ? options_.jobs : std::clamp(std::thread::hardware_concurrency(), 1u, kMaxJobs);
    std::atomic<std::size_t> done{0};
    std::atomic<std::int64_t> bytes{0};
    const PluginCaches* cachesUsed = resourcesShown_ ? &caches_ : nullptr;
    const auto started = std::chrono::steady_clock::now();
    showProgress_ = streams_.progress && !options_.quiet && total > 0;
    InOrderReading reading = readingPlan(total, jobs);
    const Text scratch = scratchFolder();
    totals_.setScratchFolder(scratch);
    // Backups go under their projects: each project is read first, then its
    // backups (their media resolved from its folder), and it is written once
    // they are in. A backup whose project could not be read is a project of
    // its own.
    if (options_.includeBackups) {
      owners_ = backupOwners(projects);
      order_ = orderWithBackups(owners_);
    }
    reading.read = [&](std::size_t i) {
      const std::size_t k = projectAt(i);
      const Text mediaFolder = ownerOf(k) == kNoOwner ? Text() : FolderOf(projects.path(ownerOf(k)));
      ProjectFileResult result = inventoryProjectFile(projects.path(k), cachesUsed, scratch, {target_, printedTo_},
                                                      &mediaSearch_, mediaFolder);
      bytes += result.bytes;
      ++done;
      return result;
    };
    reading.deliver = [&](std::size_t i, ProjectFileResult& result) { return deliver(i, result); };
    if (showProgress_) {
      reading.idle = [&] {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        streams_.progress(progressLine(done.load(), total, bytes.load(), elapsed));
      };
    }
    try {
      if (!readInOrder(reading) || !writeHeld()) return false;
      if (resourcesShown_) totals_.setCaches(caches_.files());
      totals_.finish(cachesUsed);
      return writer_->finish(totals_) &&
             (!holdBack_ || heldBack_.copyTo(output_)) &&
             output_.commit();
    } catch (const std::bad_alloc&) {
      outOfMemory_ = true;
      return false;
    }
  }

  std::size_t projectAt(std::size_t at) const { return order_.empty() ? at : order_[at]; }
  std::size_t ownerOf(std::size_t i) const { return order_.empty() ? kNoOwner : owners_[i]; }

  // Writes the project held back for its backups, if any: false to stop the run.
  bool writeHeld() {
    if (!held_) return true;
    const ProjectPaths& projects = found_.projects;
    totals_.addProject(held_->inventory, projects.bytes(heldIndex_));
    const bool ok = writer_->addProject(
        {projects.bytes(heldIndex_), held_->inventory, projects.alsoAt(heldIndex_), std::move(heldBackups_)});
    held_.reset();
    heldBackups_.clear();
    return ok;
  }

  // One project read, in path order (its backups right after it): false to
  // stop the run.
  bool deliver(std::size_t at, ProjectFileResult& result) {
    const ProjectPaths& projects = found_.projects;
    const std::size_t i = projectAt(at);
    const bool backup = ownerOf(i) != kNoOwner;
    if (!backup && !writeHeld()) return false;
    if (!result.mediaIsTarget[0].empty()) {
      mediaOf_ = projects.bytes(i);
      return false;
    }
    if (!result.mediaIsTarget[1].empty() && printedToRead_.empty())
      printedToRead_ = u"it is a media file of " + PrintableName(projects.path(i));
    if (!result.reason.empty()) {
      totals_.addError(projects.bytes(i), result.reason);
      return true;
    }
    if (backup && held_) {
      heldBackups_.push_back({std::string(projects.bytes(i)), result.inventory.status});
      return true;
    }
    if (!backup && at + 1 < order_.size() && owners_[order_[at + 1]] == i) {
      held_ = std::move(result);
      heldIndex_ = i;
      return true;
    }
    totals_.addProject(result.inventory, projects.bytes(i));
    return writer_->addProject({projects.bytes(i), result.inventory, projects.alsoAt(i)});
  }

  // What the run ends with on standard output and error, and its exit status.
  int report(bool written) {
    if (showProgress_) streams_.progress("");
    if (!mediaOf_.empty()) return refuse(u"it is a media file of " + PrintableName(TextFromPathText(mediaOf_)));
    if (!written) {
      const Text reason = outOfMemory_                         ? Text(OwnErrorText(kErrorNotEnoughMemory))
                          : !writer_->failureReason().empty()  ? writer_->failureReason()
                          : !heldBack_.failureReason().empty() ? heldBack_.failureReason()
                                                               : output_.failureReason();
      output_.abandon();
      fail(shownOutput_, u"Couldn't write the file!" + (reason.empty() ? Text() : u" (" + reason + u")"));
      return 1;
    }
    bool listed = true;
    if (!options_.quiet && !output_.writesStandardOutput())
      listed = printedToRead_.empty() && streams_.out(PrintableName(outputPath_));
    for (const ArchiveTotals::Error& e : totals_.errors())
      fail(TextFromPathText(e.path), TextFromUtf8(e.message));
    const ProjectPaths& projects = found_.projects;
    if (projects.empty()) {
      Text under;
      for (const Text& path : options_.paths) under += (under.empty() ? u"" : u", ") + PrintableName(path);
      printNote(kProgram, streams_, u"no REAPER projects under " + under);
    }
    if (!listed)
      printNote(kProgram, streams_,
                u"the inventory's path could not be printed on standard output" +
                    (printedToRead_.empty() ? Text() : u" (" + printedToRead_ + u")"));
    return totals_.errors().empty() && !projects.empty() && listed ? 0 : 1;
  }

  static constexpr TextView kProjectFile = u"it is a project file";
  static constexpr TextView kCacheFile = u"it is a plug-in cache of the REAPER resource folder";

  const Options& options_;
  const InventoryStreams& streams_;
  PluginCaches caches_;
  std::optional<std::string> resourcesShown_;  // the resource folder checked against, in pathText form
  OutputFile output_;
  Text outputPath_;   // empty for standard output
  Text shownOutput_;  // the output's name in messages: "-" for standard output
  FileIdentity target_;     // the file that the output is now
  FileIdentity printedTo_;  // the regular file that standard output is, when the output's path goes there
  Text printedToRead_;      // why standard output is a file the run reads; empty when it is not
  ArchiveTotals totals_;
  FoundProjects found_;
  bool holdBack_ = false;
  ScratchFile heldBack_;
  // What the writer writes goes to the output, or to the scratch file that
  // holds it back; the writer keeps a reference to it.
  SinkOf<std::function<bool(std::string_view)>> sink_{[this](std::string_view piece) { return holdBack_ ? heldBack_.write(piece) : output_.write(piece); }};
  std::unique_ptr<InventoryWriter> writer_;
  bool showProgress_ = false;
  bool outOfMemory_ = false;
  std::string mediaOf_;  // the project of a media file that is the output
  MediaSearch mediaSearch_;  // missing media looked for by name, shared by the jobs
  std::vector<std::size_t> owners_;  // with --include-backups: each backup's project (kNoOwner for none)
  std::vector<std::size_t> order_;   // with --include-backups: projects in reading order
  std::optional<ProjectFileResult> held_;  // a project whose backups are being read
  std::size_t heldIndex_ = 0;
  std::vector<InventoryBackup> heldBackups_;
};

}  // namespace

int runInventoryCli(const std::vector<Text>& arguments, const InventoryStreams& streams) {
  Options options;
  if (const int status = parseArguments(arguments, streams, options); status != kGoOn) return status;
  return InventoryRun(options, streams).run();
}
