// The inventory of a whole archive, read project by project in path order.
//
// inventoryProjectFile reads one project; readInOrder reads many with a pool
// of threads and hands the results over in the order of their paths, holding
// only a bounded number at once; ArchiveTotals keeps what the outputs need
// once every project is seen: the plug-ins aggregated by identity, the
// counts and the errors. Nothing here keeps a project after it was handed
// over, so memory grows with the distinct plug-ins and the errors, never with
// the number of projects or instances (a project's instances are set aside
// as it is read, see project_inventory.h).
//
// Paths are kept as UTF-8 bytes in which a lone surrogate of the Text (a
// file-name byte that is not UTF-8) stays encoded on its own (ED xx xx), so
// that the JSON output can give it back exactly; see pathText().
#pragma once

#include "core/plugin_caches.h"
#include "core/project_inventory.h"
#include "runtime/text.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Reads one project file and completes its inventory: statuses from the
// caches (none: every status "unknown") and media resolved against the
// project's folder. What the inventory sets aside beyond memory goes to
// `scratchFolder` (see readProjectInventory). On failure `error` says why,
// with the system's reason where it has one, and the inventory is empty. Each
// media file checked is compared with the files the run writes (`targets`:
// the output, standard output), so that no list of them is kept:
// mediaIsTarget[t] names (pathText) the first that is targets[t], "" when
// none is.
struct ProjectFileResult {
  ProjectInventory inventory;
  std::string error;  // "" when the project was read
  std::int64_t bytes = 0;
  std::vector<std::string> mediaIsTarget;
};
ProjectFileResult inventoryProjectFile(TextView path, const PluginCaches* caches, TextView scratchFolder = {},
                                       const std::vector<FileIdentity>& targets = {});

// Media paths: whether a path is absolute on some system ("/", "\", "C:"),
// and where a path written in a project resolves from the project's folder
// (`folder` ends with a separator); either separator is accepted.
bool isAbsoluteMediaPath(std::string_view file);
Text resolveMediaPath(TextView folder, std::string_view file);
// The same in pathText form: `folder` as folderOfPathText gives it.
std::string resolvedMediaText(std::string_view folder, std::string_view file);

// UTF-8 of a Text, a lone surrogate encoded on its own (see above), and the
// Text back from it.
std::string pathText(TextView path);
Text textFromPathText(std::string_view bytes);
// The folder part of a path in pathText form, with its final separator.
std::string_view folderOfPathText(std::string_view path);

// Reads projects 0..count-1 with `jobs` threads (read(i) runs on them) and
// hands each result to deliver(i, result) on the calling thread, in index
// order, as soon as it and every one before it are read. A thread takes
// `batch` consecutive projects at a time; at most `window` results (at least
// one batch) are read ahead of the one handed over next, so that a slow
// project holds back only that many. A thread is woken only when there is a
// batch for it, so threads beyond the work at hand cost nothing. While it
// waits, and between results, the calling thread calls idle() about every
// `tick` (a progress line).
// deliver returning false stops the reading: no further project is started,
// and readInOrder returns false once the threads have ended; it returns true
// when every result was handed over. A read that runs out of memory is the
// error "not enough memory to read it" of that project.
struct InOrderReading {
  std::size_t count = 0;
  unsigned jobs = 1;
  std::size_t window = 8;
  std::size_t batch = 1;
  std::function<ProjectFileResult(std::size_t)> read;
  std::function<bool(std::size_t, ProjectFileResult&)> deliver;
  std::function<void()> idle;
  std::chrono::milliseconds tick{250};
};
bool readInOrder(const InOrderReading& reading);

struct ArchivePlugin {
  FxFormat format;
  bool instrument;
  InstallStatus status;
  std::string display, name, vendor, file, id;
  std::uint32_t projects = 0;
  std::uint32_t instances = 0;
};

// What the outputs say of the archive as a whole. Projects are added in path
// order (the first instance of a plug-in met names it), errors in any order;
// finish() then sorts the plug-ins and the errors, and nothing more may be
// added. Not thread-safe: one thread adds.
class ArchiveTotals {
 public:
  struct Error {
    std::string path;
    std::string message;
  };

  void addProject(const ProjectInventory& project);
  void addError(std::string_view path, std::string_view message);  // path in pathText form
  // The cache files the installed check used, read or not (none: no check).
  void setCaches(std::vector<CacheFile> caches) { caches_ = std::move(caches); }
  void finish();

  std::uint64_t projects() const { return projects_; }
  std::uint64_t instances() const { return instances_; }
  std::uint64_t missingMedia() const { return missingMedia_; }
  // Distinct plug-ins that are missing.
  std::uint64_t missingPlugins() const;
  const std::vector<ArchivePlugin>& plugins() const { return plugins_; }
  const std::vector<Error>& errors() const { return errors_; }
  const std::vector<CacheFile>& caches() const { return caches_; }

 private:
  std::uint64_t projects_ = 0, instances_ = 0, missingMedia_ = 0;
  std::vector<ArchivePlugin> plugins_;
  std::vector<std::uint64_t> lastProject_;  // per plug-in: the last project that used it
  std::unordered_map<std::string, std::size_t> byIdentity_;
  std::vector<Error> errors_;
  std::vector<CacheFile> caches_;
};
