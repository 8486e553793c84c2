// What the outputs say of an archive as a whole: the plug-ins aggregated by
// identity, the counts and the errors. Nothing here keeps a project after it
// was added, so memory grows with the distinct plug-ins and the errors, never
// with the number of projects or instances.
#pragma once

#include "core/plugin_caches.h"
#include "core/project_inventory.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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
  void addError(std::string_view path, std::string_view message);  // path in PathText form
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
