#include "app/inventory_cli.h"

#include "app/version.h"
#include "core/archive_totals.h"
#include "core/backup_owners.h"
#include "core/in_order_reading.h"
#include "runtime/path_text.h"
#include "core/plugin_caches.h"
#include "core/project_finder.h"
#include "report/inventory_output.h"
#include "runtime/file_tree.h"
#include "runtime/os_file.h"
#include "runtime/output_file.h"
#include "runtime/paths.h"
#include "runtime/printable_name.h"
#include "runtime/scratch_file.h"
#include "runtime/utf8.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <thread>

namespace {

constexpr TextView kProgram = u"quorvel-inventory";
constexpr TextView kVersion = u"quorvel-inventory " QUORVEL_VERSION;
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
    u"  --include-backups        read *.rpp-bak files too",
    u"  --quiet                  print nothing but errors: no progress line, no notes, no output path",
    u"  --help                   show this help and exit",
    u"  --version                show the version and exit",
    u"",
    u"Exit status: 0 when every project was read, 1 when any could not be, 2 for bad usage.",
};

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

int badUsage(const InventoryStreams& streams, TextView problem) {
  streams.err(Text(kProgram) + u": " + Text(problem) + u" (try 'quorvel-inventory --help')");
  return 2;
}

bool isSeparator(char16_t c) { return c == u'/' || c == FolderSeparator(); }

bool isAbsolute(TextView path) {
  if (!path.empty() && isSeparator(path[0])) return true;
  // "C:\..." on Windows.
  return FolderSeparator() == u'\\' && path.size() >= 3 && path[1] == u':' && isSeparator(path[2]);
}

// The path made absolute against the current folder, ".." left to the OS;
// empty when it is relative and the current folder cannot be read.
Text absolute(TextView path, const Text& currentFolder) {
  if (isAbsolute(path)) return Text(path);
  if (currentFolder.empty()) return {};
  Text full = currentFolder;
  if (!isSeparator(full.back())) full.push_back(FolderSeparator());
  TextView rest = path;
  while (rest.size() >= 2 && rest[0] == u'.' && isSeparator(rest[1])) rest.remove_prefix(2);
  if (rest == u".") rest = {};
  return full + Text(rest);
}

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

// Parses the arguments; returns -1 to go on, or an exit status.
int parseArguments(const std::vector<Text>& arguments, const InventoryStreams& streams, Options& options) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const Text& arg = arguments[i];
    if (optionsEnded || arg.empty() || arg[0] != u'-' || arg == u"-") {
      options.paths.push_back(arg);
      continue;
    }
    // "--name=value" and "--name value" alike.
    Text name = arg;
    std::optional<Text> value;
    const std::size_t eq = arg.find(u'=');
    if (arg.rfind(u"--", 0) == 0 && eq != Text::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    auto takeValue = [&]() -> std::optional<Text> {
      if (value) return value;
      if (i + 1 >= arguments.size()) return std::nullopt;
      return arguments[++i];
    };
    const bool takesValue = name == u"--reaper-resources" || name == u"--format" || name == u"-o" || name == u"--jobs" ||
                            name == u"--csv-table";
    if (!takesValue && value) return badUsage(streams, name + u" takes no value");
    if (name == u"--") {
      optionsEnded = true;
    } else if (name == u"--help" || name == u"-h") {
      for (TextView line : kUsage) streams.out(line);
      return 0;
    } else if (name == u"--version") {
      streams.out(kVersion);
      return 0;
    } else if (name == u"--no-installed-check") {
      options.noInstalledCheck = true;
    } else if (name == u"--include-backups") {
      options.includeBackups = true;
    } else if (name == u"--quiet" || name == u"-q") {
      options.quiet = true;
    } else if (takesValue) {
      const std::optional<Text> v = takeValue();
      if (!v) return badUsage(streams, name + u" needs a value");
      if (v->empty()) return badUsage(streams, name + u" needs a value that is not empty");
      if (name == u"--reaper-resources") {
        options.resources = *v;
      } else if (name == u"-o") {
        options.output = *v;
      } else if (name == u"--jobs") {
        if (const Text problem = parseJobs(*v, options.jobs); !problem.empty()) return badUsage(streams, problem);
      } else if (name == u"--csv-table") {
        if (const Text problem = parseCsvTable(*v, options.csvTable); !problem.empty()) return badUsage(streams, problem);
      } else if (options.formatNamed = true; *v == u"html") {  // --format from here on
        options.format = InventoryFormat::Html;
      } else if (*v == u"json") {
        options.format = InventoryFormat::Json;
      } else if (*v == u"csv") {
        options.format = InventoryFormat::Csv;
      } else {
        return badUsage(streams, u"unknown format " + *v + u" (html, json or csv)");
      }
    } else {
      return badUsage(streams, u"unknown option " + arg);
    }
  }
  if (options.paths.empty()) return badUsage(streams, u"no project or folder given");
  for (const Text& path : options.paths)
    if (path.empty()) return badUsage(streams, u"an empty PATH names no project or folder");
  // A CSV table alone asks for CSV.
  if (options.csvTable && options.formatNamed && options.format != InventoryFormat::Csv)
    return badUsage(streams, u"--csv-table is for --format csv");
  if (options.csvTable) options.format = InventoryFormat::Csv;
  if (options.resources && options.noInstalledCheck)
    return badUsage(streams, u"--reaper-resources and --no-installed-check exclude each other");
  return -1;
}

// The folder part of a path, with its final separator.
Text folderOf(TextView path) {
  std::size_t end = path.size();
  while (end > 0 && !isSeparator(path[end - 1])) --end;
  return Text(path.substr(0, end));
}

std::string formatDuration(double seconds) {
  const auto s = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (s >= 3600) std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

}  // namespace

int runInventoryCli(const std::vector<Text>& arguments, const InventoryStreams& streams) {
  Options options;
  if (const int status = parseArguments(arguments, streams, options); status >= 0) return status;
  auto fail = [&](TextView path, TextView message) {
    streams.err(Text(kProgram) + u": " + PrintableName(path) + u": " + Text(message));
  };
  // Notes that the outputs carry too: not printed with --quiet.
  auto note = [&](TextView line) {
    if (!options.quiet) streams.err(Text(kProgram) + u": " + Text(line));
  };

  const Text currentFolder = CurrentDirectory();
  // The resource folder: named, REAPER's own, or none. A folder named with
  // no cache in it is a mistake, not an archive with nothing missing.
  PluginCaches caches;
  std::optional<std::string> resourcesShown;
  if (!options.noInstalledCheck) {
    Text folder;
    if (options.resources) {
      folder = absolute(*options.resources, currentFolder);
      if (folder.empty() || PathKindOf(folder) != PathKind::Folder)
        return badUsage(streams, u"--reaper-resources " + PrintableName(*options.resources) + u" is not a folder");
      if (!caches.loadFolder(folder))
        return badUsage(streams, u"--reaper-resources " + PrintableName(*options.resources) + u" cannot be read (" +
                                     OsErrorText(OsLastError()) + u")");
      if (caches.files().empty() && !caches.hasEffectsFolder())
        return badUsage(streams, u"no REAPER plug-in caches in " + PrintableName(*options.resources) + u" (looked for " +
                                     TextFromUtf8(PluginCaches::kNamesLookedFor) + u")");
    } else {
      const Text settings = UserSettingsFolder();
      if (!settings.empty()) folder = settings + FolderSeparator() + u"REAPER";
      if (folder.empty() || PathKindOf(folder) != PathKind::Folder) {
        note(u"no REAPER resource folder" + (folder.empty() ? Text() : u" at " + PrintableName(folder)) +
             u": plug-ins are not checked (name one with --reaper-resources DIR)");
        folder.clear();
      } else if (!caches.loadFolder(folder) || (caches.files().empty() && !caches.hasEffectsFolder())) {
        note(u"no REAPER plug-in caches in " + PrintableName(folder) +
             u": plug-ins are not checked (name a folder with --reaper-resources DIR)");
        folder.clear();
      }
    }
    if (!folder.empty()) {
      resourcesShown = pathText(folder);
      for (const CacheFile& cache : caches.files())
        if (!cache.problem.empty())
          note(PrintableName(cache.path) + u": " + TextFromUtf8(cache.problem) +
               u"; plug-ins that only it could list are \"unknown\"");
    }
  }

  // The output, opened before any project is read so that a wrong name
  // fails at once.
  const bool toStandardOutput = options.output && *options.output == u"-";
  Text outputPath;
  OutputFile output;
  if (toStandardOutput) {
    if (!output.createStandardOutput()) {
      fail(u"-", u"may not create the file! (" + output.failureReason() + u")");
      return 1;
    }
  } else {
    const TextView extension = options.format == InventoryFormat::Html   ? u"html"
                               : options.format == InventoryFormat::Json ? u"json"
                                                                         : u"csv";
    const Text named = options.output ? *options.output : u"inventory." + Text(extension);
    outputPath = absolute(named, currentFolder);
    if (outputPath.empty()) {
      fail(named, u"may not create the file! (the current folder cannot be read)");
      return 1;
    }
    if (!output.create(outputPath)) {
      fail(outputPath, u"may not create the file! (" + output.failureReason() + u")");
      return 1;
    }
  }
  const Text shownOutput = toStandardOutput ? Text(u"-") : outputPath;
  // Never into a file the run reads or checks: the file that is there now
  // (or that standard output is) against each of them, before a byte goes
  // there and before the new file takes its place.
  const FileIdentity target = output.existing();
  auto refuse = [&](TextView why) {
    output.abandon();
    fail(shownOutput, u"may not create the file! (" + Text(why) + u")");
    return 1;
  };
  // Standard output, when the output's path is to be printed there, is held
  // to the same: the line is not printed onto a file the run reads.
  FileIdentity printedTo;
  if (!options.quiet && !output.writesStandardOutput()) {
    if (const OsHandle standardOutput = OsDuplicateStandardOutput(); standardOutput != 0) {
      if (OsHandleIsRegularFile(standardOutput)) printedTo = OsHandleIdentity(standardOutput);
      OsClose(standardOutput);
    }
  }
  Text printedToRead;  // why standard output is a file the run reads; empty when it is not
  constexpr TextView kProjectFile = u"it is a project file";
  constexpr TextView kCacheFile = u"it is a plug-in cache of the REAPER resource folder";
  for (const CacheFile& cache : caches.files()) {
    if (cache.identity == target) return refuse(kCacheFile);
    if (cache.identity == printedTo) printedToRead = kCacheFile;
  }

  // Errors are kept (with their paths in pathText form) until the end; of
  // the projects only their paths, packed and sorted.
  ArchiveTotals totals;
  std::vector<Text> roots;
  for (const Text& path : options.paths) {
    Text full = absolute(path, currentFolder);
    if (full.empty()) totals.addError(pathText(path), "the current folder cannot be read");
    else roots.push_back(std::move(full));
  }
  FoundProjects found = findProjects(roots, options.includeBackups);
  for (const FoundProjects::Problem& problem : found.problems) totals.addError(pathText(problem.path), problem.message);
  const ProjectPaths& projects = found.projects;
  for (std::size_t i = 0; i < projects.size(); ++i) {
    if (projects.identity(i) == target) return refuse(kProjectFile);
    if (projects.identity(i) == printedTo) printedToRead = kProjectFile;
  }

  // A regular file written in place (standard output sent to a file) gets
  // nothing until every media file was checked against it: the inventory
  // waits in a scratch file meanwhile.
  ScratchFile heldBack;
  const bool holdBack = output.writesDirectly() && output.writesRegularFile();
  if (holdBack && !heldBack.create(u"")) {
    output.abandon();
    fail(shownOutput, u"may not create the file! (temporary file: " + heldBack.failureReason() + u")");
    return 1;
  }
  const ByteSink sink = [&](std::string_view piece) { return holdBack ? heldBack.write(piece) : output.write(piece); };

  // The parts of the output that come after the summary are set aside
  // beside the output (where its bytes must fit anyway), or in the folder
  // for temporary files when the output is a device, a pipe or stdout.
  const std::unique_ptr<InventoryWriter> writer =
      makeInventoryWriter(options.format, resourcesShown, sink, options.csvTable.value_or(CsvTable::Instances));
  if (!writer->open(output.writesDirectly() ? Text() : folderOf(outputPath))) {
    output.abandon();
    fail(shownOutput, u"may not create the file! (temporary file: " + writer->failureReason() + u")");
    return 1;
  }

  // The projects, read by a pool of threads and written in path order as
  // soon as each and every one before it is read.
  const std::size_t total = projects.size();
  const unsigned jobs =
      options.jobs != 0 ? options.jobs : std::clamp(std::thread::hardware_concurrency(), 1u, kMaxJobs);
  std::atomic<std::size_t> done{0};
  std::atomic<std::int64_t> bytes{0};
  const PluginCaches* cachesUsed = resourcesShown ? &caches : nullptr;
  const auto started = std::chrono::steady_clock::now();
  const bool showProgress = streams.progress && !options.quiet && total > 0;
  std::string mediaOf;  // the project of a media file that is the output
  InOrderReading reading;
  reading.count = total;
  reading.jobs = jobs;
  // At most 256 projects are read ahead of the one written next, so that
  // what they hold (up to 64 KiB each set aside in memory, a scratch file
  // beyond) stays small. They go to the threads in batches of up to 16,
  // small enough that each thread gets some 32 batches of the archive (its
  // end is shared out too) and that the window holds two batches a thread.
  constexpr std::size_t kMostAhead = 256;
  reading.batch = std::clamp<std::size_t>(
      std::min(total / (std::size_t{32} * jobs), kMostAhead / (std::size_t{2} * jobs)), 1, 16);
  reading.window = std::min(std::size_t{4} * jobs * reading.batch, kMostAhead);
  const Text scratchFolder = output.writesDirectly() ? Text() : folderOf(outputPath);
  MediaSearch mediaSearch;  // missing media looked for by name, shared by the jobs
  // Backups go under their projects: each project is read first, then its
  // backups (their media resolved from its folder), and it is written once
  // they are in. A backup whose project could not be read is a project of
  // its own.
  const std::vector<std::size_t> owners = options.includeBackups ? backupOwners(projects) : std::vector<std::size_t>();
  const std::vector<std::size_t> order = orderWithBackups(owners);
  auto projectAt = [&](std::size_t i) { return order.empty() ? i : order[i]; };
  auto ownerOf = [&](std::size_t k) { return order.empty() ? kNoOwner : owners[k]; };
  std::optional<ProjectFileResult> held;  // a project whose backups are being read
  std::size_t heldIndex = 0;
  std::vector<InventoryBackup> heldBackups;
  auto writeHeld = [&] {
    if (!held) return true;
    totals.addProject(held->inventory, projects.bytes(heldIndex));
    const bool ok = writer->addProject({projects.bytes(heldIndex), held->inventory, projects.alsoAt(heldIndex),
                                        std::move(heldBackups)});
    held.reset();
    heldBackups.clear();
    return ok;
  };
  reading.read = [&](std::size_t i) {
    const std::size_t k = projectAt(i);
    const Text mediaFolder = ownerOf(k) == kNoOwner ? Text() : folderOf(projects.path(ownerOf(k)));
    ProjectFileResult result = inventoryProjectFile(projects.path(k), cachesUsed, scratchFolder, {target, printedTo},
                                                    &mediaSearch, mediaFolder);
    bytes += result.bytes;
    ++done;
    return result;
  };
  reading.deliver = [&](std::size_t at, ProjectFileResult& result) {
    const std::size_t i = projectAt(at);
    const bool backup = ownerOf(i) != kNoOwner;
    if (!backup && !writeHeld()) return false;
    if (!result.mediaIsTarget[0].empty()) {
      mediaOf = projects.bytes(i);
      return false;
    }
    if (!result.mediaIsTarget[1].empty() && printedToRead.empty())
      printedToRead = u"it is a media file of " + PrintableName(projects.path(i));
    if (!result.error.empty()) {
      totals.addError(projects.bytes(i), result.error);
      return true;
    }
    if (backup && held) {
      heldBackups.push_back({std::string(projects.bytes(i)), result.inventory.status});
      return true;
    }
    if (!backup && at + 1 < order.size() && owners[order[at + 1]] == i) {
      held = std::move(result);
      heldIndex = i;
      return true;
    }
    totals.addProject(result.inventory, projects.bytes(i));
    return writer->addProject({projects.bytes(i), result.inventory, projects.alsoAt(i)});
  };
  if (showProgress) {
    reading.idle = [&] {
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      const std::size_t d = done.load();
      char line[160];
      std::snprintf(line, sizeof line, "%zu/%zu projects, %.1f MB/s, %s left", d, total,
                    elapsed > 0 ? static_cast<double>(bytes.load()) / 1e6 / elapsed : 0.0,
                    d == 0 ? "?:??" : formatDuration(elapsed * static_cast<double>(total - d) / static_cast<double>(d)).c_str());
      streams.progress(line);
    };
  }
  bool written = false, outOfMemory = false;
  try {
    if (readInOrder(reading) && writeHeld()) {
      if (resourcesShown) totals.setCaches(caches.files());
      totals.finish();
      written = writer->finish(totals) &&
                (!holdBack || heldBack.copyTo([&](std::string_view piece) { return output.write(piece); })) &&
                output.commit();
    }
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  if (showProgress) streams.progress("");
  if (!mediaOf.empty()) return refuse(u"it is a media file of " + PrintableName(textFromPathText(mediaOf)));
  if (!written) {
    const Text reason = outOfMemory                        ? Text(OwnErrorText(kErrorNotEnoughMemory))
                        : !writer->failureReason().empty() ? writer->failureReason()
                        : !heldBack.failureReason().empty() ? heldBack.failureReason()
                                                            : output.failureReason();
    output.abandon();
    fail(shownOutput, u"Couldn't write the file!" + (reason.empty() ? Text() : u" (" + reason + u")"));
    return 1;
  }
  bool listed = true;
  if (!options.quiet && !output.writesStandardOutput())
    listed = printedToRead.empty() && streams.out(PrintableName(outputPath));
  for (const ArchiveTotals::Error& e : totals.errors())
    streams.err(Text(kProgram) + u": " + PrintableName(textFromPathText(e.path)) + u": " + TextFromUtf8(e.message));
  if (projects.empty()) {
    Text under;
    for (const Text& path : options.paths) under += (under.empty() ? u"" : u", ") + PrintableName(path);
    streams.err(Text(kProgram) + u": no REAPER projects under " + under);
  }
  if (!listed)
    streams.err(Text(kProgram) + u": the inventory's path could not be printed on standard output" +
                (printedToRead.empty() ? Text() : u" (" + printedToRead + u")"));
  return totals.errors().empty() && !projects.empty() && listed ? 0 : 1;
}
