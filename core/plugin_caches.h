// The plug-in caches REAPER keeps in its resource folder, and whether a
// plug-in instance of a project is installed according to them.
//
// Matching is by keys, never by name likeness: VST by the cache key of the
// instance's file (spaces and "-" written as "_", letter case ignored), a
// shell plug-in by its "FILE<ID" key, failing these by the same unique id;
// CLAP by id; JS by path with or without its ".jsfx" (reaper-jsfx.ini or a
// file under Effects/); AU by its "Vendor: Name" identifier or its component
// codes. A format without a cache gives "unknown"; LV2, DX and others are
// always "unknown".
//
// Loading never fails: files that cannot be read count as absent. The
// object is read-only after loading and may be shared between threads.
#pragma once

#include "core/project_inventory.h"
#include "runtime/text.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class PluginCaches {
 public:
  // Reads every cache file found in `folder` (and notes its Effects folder).
  void loadFolder(TextView folder);

  // Cache texts, for loading and for tests; each may be called many times.
  void addVstCache(std::string_view text);
  void addVstShells(std::string_view text);
  void addClapCache(std::string_view text);
  void addAuCache(std::string_view text);
  void addAuComponents(std::string_view text);  // the "-bc" form
  void addJsfxCache(std::string_view text);
  void setEffectsFolder(TextView folder);

  // Installed, missing or unknown; for JS also a better name and vendor
  // from the cache's description when there is one.
  InstallStatus statusOf(const PluginInstance& instance) const;
  void describeJs(PluginInstance& instance) const;

  // The cache files read, by name, for messages and tests.
  const std::vector<std::string>& filesRead() const { return filesRead_; }

 private:
  enum class VstEntry : std::uint8_t { ScannedOnly, Plugin, Shell };
  bool jsInstalled(std::string_view path) const;

  bool haveVst_ = false, haveClap_ = false, haveAu_ = false, haveJs_ = false;
  std::unordered_map<std::string, VstEntry> vstFiles_;
  std::unordered_set<std::string> vstShellChildren_;  // "key<id"
  std::unordered_set<std::string> vstIds_;
  std::unordered_set<std::string> clapIds_;
  std::unordered_set<std::string> auNames_;
  std::unordered_set<std::uint64_t> auCodes_;         // subtype << 32 | manufacturer
  std::unordered_map<std::string, std::string> jsPaths_;  // key -> description
  Text effectsFolder_;
  std::vector<std::string> filesRead_;
};

// The VST cache key of a plug-in file: its name without folders, spaces and
// "-" as "_", in lower case.
std::string vstCacheKey(std::string_view file);
