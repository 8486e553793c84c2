// What the outputs say of an archive as a whole: the plug-ins aggregated by
// identity, the projects that use each, the counts and the errors. Of a
// project only its path (a view of the caller's text) and its (plug-in,
// project) pairs are kept, as numbers: 16 bytes a pair, plus a few bytes for
// a pair whose plug-in sits on more than one track. Memory never grows with
// the instances.
//
// A plug-in's identity is its format, name and vendor, whatever binary or
// system it came from (ReaEQ from reaeq.dll, reaeq.vst.dylib and
// reaeq.vst.so is one plug-in); a JS plug-in's is its path; a plug-in with
// no name is told by its file and id, or by its label.
#pragma once

#include "core/missing_media_list.h"
#include "core/plugin_caches.h"
#include "core/project_inventory.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct ArchivePlugin {
  FxFormat format;
  bool instrument;
  InstallStatus status;  // installed when any of its binaries is, else unknown when any is, else missing
  std::string display, name, vendor, file, id;  // of the first instance met
  std::uint32_t projects = 0;
  std::uint32_t instances = 0;
  std::vector<std::string> files, ids;  // every distinct one seen, sorted; none empty
  std::vector<InstalledPlugin> installedAs;  // when missing: the same plug-in installed in another format
  std::string warning;                       // "" or what the check noticed, e.g. a unique id that differs
};

// One project that uses a plug-in: its number (the order it was added in,
// from 0), its instances of the plug-in, and the tracks they sit on (see
// ProjectPlugin::tracks), read with ArchiveTotals::tracksOf.
struct PluginUse {
  std::uint32_t plugin;
  std::uint32_t project;
  std::uint32_t instances;
  std::uint32_t tracks;  // the one track, or kTrackList | where its list starts
  static constexpr std::uint32_t kTrackList = 0x80000000u;
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

  // `path` (PathText form) must outlive the totals; projectPath(n) gives it back.
  void addProject(const ProjectInventory& project, std::string_view path = {});
  void addError(std::string_view path, std::string_view message);  // path in PathText form
  // The cache files the installed check used, read or not (none: no check).
  void setCaches(std::vector<CacheFile> caches) { caches_ = std::move(caches); }
  // With the caches of the check (none: nothing checked), a missing plug-in
  // learns where it is installed in another format, and an installed VST2
  // whose unique id differs from the cache's gets a warning.
  void finish(const PluginCaches* caches = nullptr);

  std::uint64_t projects() const { return projects_; }
  std::uint64_t instances() const { return instances_; }
  std::uint64_t missingMedia() const { return missingMedia_; }
  // Distinct plug-ins that are missing.
  std::uint64_t missingPlugins() const;
  // Distinct plug-ins whose status is unknown.
  std::uint64_t unknownPlugins() const;
  // After finish(): the projects that use plugins()[plugin], in the order
  // they were added (path order), and a use's tracks, ascending.
  struct Uses {
    std::deque<PluginUse>::const_iterator first, last;
    auto begin() const { return first; }
    auto end() const { return last; }
    std::size_t size() const { return static_cast<std::size_t>(last - first); }
    bool empty() const { return first == last; }
    const PluginUse& operator[](std::size_t k) const { return first[static_cast<std::ptrdiff_t>(k)]; }
  };
  Uses usedBy(std::size_t plugin) const;
  std::vector<std::int32_t> tracksOf(const PluginUse& use) const;
  std::string_view projectPath(std::uint32_t project) const { return paths_[project]; }
  const std::vector<ArchivePlugin>& plugins() const { return plugins_; }
  const std::vector<Error>& errors() const { return errors_; }
  const std::vector<CacheFile>& caches() const { return caches_; }

  // Projects by status (ProjectStatus order).
  std::uint64_t projectsWith(ProjectStatus status) const { return byStatus_[static_cast<int>(status)]; }

  // Every missing media file of the archive by its resolved path, sorted,
  // with the projects that name it (numbers for projectPath(), ascending)
  // and the file of the same name found near the first of them that has
  // one; see MissingMediaList for what memory it takes. False when what was
  // set aside could not be read back: failureReason() says why.
  using MissingMedia = MissingMediaList::Entry;
  bool hasMissingMedia() const { return !missing_->empty(); }
  bool forEachMissingMedia(const std::function<void(const MissingMedia&)>& visit) const { return missing_->forEach(visit); }
  Text failureReason() const { return missing_->failureReason(); }
  // Where the missing media list sets aside what memory cannot hold ("" for
  // the system's folder for temporary files); before the first project.
  void setScratchFolder(Text folder) { missing_ = std::make_unique<MissingMediaList>(std::move(folder)); }

 private:
  std::uint64_t projects_ = 0, instances_ = 0, missingMedia_ = 0;
  std::vector<ArchivePlugin> plugins_;
  void setTracks(PluginUse& use, const std::vector<std::int32_t>& tracks);
  std::vector<std::uint64_t> lastProject_;  // per plug-in: the last project that used it
  std::unordered_map<std::string, std::size_t> byIdentity_;
  std::vector<std::string_view> paths_;
  std::deque<PluginUse> uses_;          // in project order until finish(), then by plug-in; grows by blocks, never by doubling
  std::vector<std::size_t> firstUse_;   // after finish(): per plug-in, where its uses start; one more at the end
  std::string trackLists_;              // count, then track deltas, as LEB128
  std::vector<Error> errors_;
  std::vector<CacheFile> caches_;
  std::uint64_t byStatus_[4] = {};
  std::unique_ptr<MissingMediaList> missing_ = std::make_unique<MissingMediaList>();
};
