// The inventory of a whole archive: the projects read (each with its plug-in
// instances and media), the errors, and the plug-ins aggregated by identity.
//
// Projects may be added from several threads in any order; finish() then
// sorts them by path, so that what the outputs see is the same for any
// order. Texts are kept once each in a string pool and instances as small
// records, so that a large archive stays small in memory.
//
// Paths are kept as UTF-8 bytes in which a lone surrogate of the Text (a
// file-name byte that is not UTF-8) stays encoded on its own (ED xx xx), so
// that the JSON output can give it back exactly; see pathText().
#pragma once

#include "core/project_inventory.h"
#include "runtime/text.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class PluginCaches;

// Reads one project file and completes its inventory: statuses from the
// caches (none: every status "unknown") and media resolved against the
// project's folder. On failure `error` says why and the inventory is empty.
struct ProjectFileResult {
  ProjectInventory inventory;
  std::string error;  // "" when the project was read
  std::int64_t bytes = 0;
};
ProjectFileResult inventoryProjectFile(TextView path, const PluginCaches* caches);

// Media paths: whether a path is absolute on some system ("/", "\", "C:"),
// and where a path written in a project resolves from the project's folder
// (`folder` ends with a separator); either separator is accepted.
bool isAbsoluteMediaPath(std::string_view file);
Text resolveMediaPath(TextView folder, std::string_view file);

// UTF-8 of a Text, a lone surrogate encoded on its own (see above).
std::string pathText(TextView path);

struct ArchivePlugin {
  FxFormat format;
  bool instrument;
  InstallStatus status;
  std::string_view display, name, vendor, file, id;
  std::uint32_t projects = 0;
  std::uint32_t instances = 0;
};

class ArchiveInventory {
 public:
  struct Instance {
    std::uint32_t trackName, item, container, display, name, vendor, file, id, preset;
    std::int32_t track;
    FxLocation location;
    FxFormat format;
    FxState state;
    InstallStatus status;
    bool instrument;
  };
  struct Media {
    std::uint32_t file;
    std::uint32_t uses;
    bool relative;
    bool exists;
  };
  struct Project {
    std::uint32_t path, folder, version, platform;
    std::int32_t tracks;
    std::uint32_t firstInstance, instanceCount, firstMedia, mediaCount;
    std::uint32_t missingPlugins, missingMedia;
  };
  struct Error {
    std::string path;
    std::string message;
  };

  // Thread-safe.
  void addProject(TextView path, const ProjectInventory& inventory);
  void addError(TextView path, std::string_view message);
  // Sorts projects and errors by path and aggregates the plug-ins.
  void finish();

  std::string_view text(std::uint32_t id) const { return strings_[id]; }
  const std::vector<Project>& projects() const { return projects_; }
  std::span<const Instance> instances(const Project& p) const {
    return {instances_.data() + p.firstInstance, p.instanceCount};
  }
  std::span<const Media> media(const Project& p) const { return {media_.data() + p.firstMedia, p.mediaCount}; }
  // The media file's absolute path, as pathText gives it.
  std::string resolved(const Project& p, const Media& m) const;
  const std::vector<Error>& errors() const { return errors_; }
  const std::vector<ArchivePlugin>& plugins() const { return plugins_; }

  std::uint64_t instanceCount() const { return instances_.size(); }
  std::uint64_t missingPlugins() const;
  std::uint64_t missingMedia() const;

 private:
  std::uint32_t intern(std::string_view s);

  std::mutex mutex_;
  std::deque<std::string> strings_;
  std::unordered_map<std::string_view, std::uint32_t> index_;
  std::vector<Project> projects_;
  std::vector<Instance> instances_;
  std::vector<Media> media_;
  std::vector<Error> errors_;
  std::vector<ArchivePlugin> plugins_;
};
