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

  // `path` (pathText) names the project in the list of missing media.
  void addProject(const ProjectInventory& project, std::string_view path = {});
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

  // Projects by status (ProjectStatus order).
  std::uint64_t projectsWith(ProjectStatus status) const { return byStatus_[static_cast<int>(status)]; }

  // Every missing media file of the archive by its resolved path, with the
  // projects that name it (in path order) and the file of the same name
  // found near the first of them that has one; sorted by path after finish().
  // Memory grows with these files and their projects, a number each.
  struct MissingMedia {
    std::string file;
    std::string foundByName;             // "" when none
    std::vector<std::uint32_t> projects;  // indexes into missingMediaProjects()
  };
  const std::vector<MissingMedia>& missingMediaFiles() const { return missing_; }
  const std::vector<std::string>& missingMediaProjects() const { return missingProjects_; }

 private:
  std::uint64_t projects_ = 0, instances_ = 0, missingMedia_ = 0;
  std::vector<ArchivePlugin> plugins_;
  std::vector<std::uint64_t> lastProject_;  // per plug-in: the last project that used it
  std::unordered_map<std::string, std::size_t> byIdentity_;
  std::vector<Error> errors_;
  std::vector<CacheFile> caches_;
  std::uint64_t byStatus_[4] = {};
  std::vector<MissingMedia> missing_;
  std::unordered_map<std::string, std::size_t> missingIndex_;
  std::vector<std::string> missingProjects_;
};
