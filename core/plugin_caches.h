// The plug-in caches REAPER keeps in its resource folder, and whether a
// plug-in instance of a project is installed according to them.
//
// Matching is by keys, never by name likeness: VST by the cache key of the
// instance's file (spaces and "-" written as "_", letter case ignored), a
// shell plug-in by its "FILE<ID" key, failing these by the same unique id,
// and a VST line with no id (as REAPER 4 wrote them) by the file's base name
// on any system (vstBaseName: reaeq.dll, reaeq.vst.dylib and reaeq.vst.so
// alike);
// CLAP by id; JS by path with or without its ".jsfx" (reaper-jsfx.ini or a
// file under Effects/); AU by its "Vendor: Name" identifier or its component
// codes. A format without a cache gives "unknown"; LV2, DX and others are
// always "unknown".
//
// Loading reads each cache as a stream of lines, so a cache of any size takes
// memory only for what it lists. A cache that cannot be used (it cannot be
// opened or read, is not a regular file, is not text, or has a line longer
// than 1 MiB) is listed with its problem, and its formats can then no longer
// be "missing": a plug-in no other cache of its format finds is "unknown".
// The object is read-only after loading and may be shared between threads.
#pragma once

#include "core/project_inventory.h"
#include "runtime/os_file.h"
#include "runtime/text.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// A plug-in the caches list, as the outputs name it: its format and its
// file ("" where the cache names none, as for AU).
struct InstalledPlugin {
  FxFormat format;
  std::string file;
  bool operator==(const InstalledPlugin&) const = default;
};

// A cache file of the resource folder, as loading found it.
struct CacheFile {
  Text path;
  std::uint64_t entries = 0;  // the plug-ins (or paths, or components) it lists
  std::string problem;        // "" when it was read; else why it could not be used
  FileIdentity identity;      // the file read; unknown when it was not opened
};

class PluginCaches {
 public:
  // Reads every cache file found in `folder` (and notes its Effects folder),
  // in name order. False, with OsLastError() telling why, when the folder
  // cannot be listed.
  bool loadFolder(TextView folder);

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

  // The installed plug-ins of this name and vendor (letter case ignored) in
  // a format other than `except`, by the names the caches give them; sorted
  // by format and file, each once.
  std::vector<InstalledPlugin> installedAs(std::string_view name, std::string_view vendor, FxFormat except) const;
  // For a VST2 whose files the cache lists with a unique id none of `ids`
  // has: "unique id differs from the installed one (A vs B)"; else "".
  std::string idWarning(FxFormat format, const std::vector<std::string>& files,
                        const std::vector<std::string>& ids) const;

  // Every cache file loadFolder met, read or not, in name order; and whether
  // it found an Effects folder.
  const std::vector<CacheFile>& files() const { return files_; }
  bool hasEffectsFolder() const { return !effectsFolder_.empty(); }

  // The names loadFolder looks for, for messages.
  static constexpr std::string_view kNamesLookedFor =
      "reaper-vstplugins*.ini, reaper-vstshells*.ini, reaper-clap-*.ini, reaper-auplugins*.ini, reaper-jsfx.ini, Effects/";

 private:
  enum class VstEntry : std::uint8_t { ScannedOnly, Plugin, Shell };
  enum class Kind : std::uint8_t { Vst, VstShells, Clap, Au, AuComponents, Jsfx };
  // Where a cache's lines are: the section of an .ini file so far.
  struct LineState {
    std::string section;
  };
  // One line of a cache of that kind; true when it listed something.
  bool addLine(Kind kind, LineState& state, std::string_view line);
  std::uint64_t addText(Kind kind, std::string_view text);
  void have(Kind kind);
  void broken(Kind kind);
  bool jsInstalled(std::string_view path) const;

  bool haveVst_ = false, haveClap_ = false, haveAu_ = false, haveJs_ = false;
  // A cache of the format could not be used: what no other cache finds is unknown.
  bool brokenVst_ = false, brokenClap_ = false, brokenAu_ = false, brokenJs_ = false;
  struct VstFile {
    VstEntry entry;
    std::string id;  // the unique id the cache gives it, "" for none
  };
  void addName(std::string_view name, std::string_view vendor, FxFormat format, std::string_view file);
  std::unordered_map<std::string, VstFile> vstFiles_;
  std::unordered_map<std::string, VstEntry> vstBaseNames_;  // by vstBaseName
  // "name\0vendor" in lower case -> where the caches list it.
  std::unordered_map<std::string, std::vector<InstalledPlugin>> byName_;
  std::unordered_set<std::string> vstShellChildren_;  // "key<id"
  std::unordered_set<std::string> vstIds_;
  std::unordered_set<std::string> clapIds_;
  std::unordered_set<std::string> auNames_;
  std::unordered_set<std::uint64_t> auCodes_;         // subtype << 32 | manufacturer
  std::unordered_map<std::string, std::string> jsPaths_;  // key -> description
  Text effectsFolder_;
  std::vector<CacheFile> files_;
};

// The VST cache key of a plug-in file: its name without folders, spaces and
// "-" as "_", in lower case.
std::string vstCacheKey(std::string_view file);

// A VST2 binary's name the same on every system: its cache key without
// ".dll", ".vst.dylib", ".vst.so", ".dylib", ".so" or ".vst", and without a
// note of its build such as "_(64_bit)" or "_x64". "X (64 Bit).dll" and
// "X.vst" both give "x".
std::string vstBaseName(std::string_view file);
