// What one REAPER project needs: its plug-in instances and media files, read
// from its block structure by a BlockReader.
//
// `<TAG ...` opens a block and a line `>` closes it. Only the project's own
// blocks count: tracks are the `<TRACK` blocks of the project itself (the
// copies that extensions keep inside `<EXTENSIONS>` are not), plug-ins are
// the blocks of the master chain, a track's chain, its input chain, a take's
// chain, the chains kept by a frozen track, and REAPER 7 containers inside
// any of these. Texts are UTF-8, decoded from REAPER's quoting and from the
// file's encoding; "" when absent.
//
// Memory does not grow with the instances: each one is set aside as soon as
// it is read (a few bytes that name its distinct plug-in, in a SpillBuffer:
// in memory while small, else in a scratch file), and comes back, decoded,
// from ProjectInventory::forEach. Kept whole are the counts, the project's
// distinct plug-ins and, while it is read, its distinct media files; once
// the file's encoding is known (at its end) the checks (ProjectChecks) give
// each distinct plug-in its status and each media file its existence, and
// the media files are set aside after the instances.
//
// readProjectInventory never throws for bad input: a file that does not
// start with `<REAPER_PROJECT` is not a project (the result says so), and
// anything else that is malformed is skipped. It throws std::bad_alloc when
// memory runs out.
//
// One of the program's two readers of project files. This one, the
// inventory's, streams each file of an archive once, in memory bounded by its
// longest line, and follows the block structure; the report's
// (core/line_table.h, core/scanner.h) keeps every line as text and reads fixed
// character positions of single lines. Both stand on one byte layer
// (runtime/text_bytes.h).
#pragma once

#include "core/block_reader.h"
#include "runtime/spill_buffer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class FxLocation : std::uint8_t { Master, Track, TrackInput, Take };
enum class FxFormat : std::uint8_t { Vst2, Vst3, Clap, Js, Au, Lv2, Dx, Other };
enum class FxState : std::uint8_t { Online, Bypassed, Offline, Frozen };
enum class InstallStatus : std::uint8_t { Installed, Missing, Unknown };
// Whether a project opens here: "complete" (nothing missing), "plays" (what
// is missing sits only in offline instances or frozen tracks' chains, which
// REAPER does not load), "incomplete" (a plug-in it loads or a media file is
// missing), "unknown" (nothing missing, but a plug-in it loads could not be
// checked).
enum class ProjectStatus : std::uint8_t { Complete, Plays, Incomplete, Unknown };

// The words the outputs use.
std::string_view locationWord(FxLocation location);
std::string_view formatWord(FxFormat format);
std::string_view stateWord(FxState state);
std::string_view statusWord(InstallStatus status);
std::string_view projectStatusWord(ProjectStatus status);

struct PluginInstance {
  FxLocation location = FxLocation::Master;
  std::int32_t track = 0;   // 1-based; 0 on the master
  std::string trackName;
  std::string item;         // the take's name, for take FX
  std::string container;    // the innermost container's name
  FxFormat format = FxFormat::Other;
  bool instrument = false;
  bool builtIn = false;     // part of REAPER itself (its video processor)
  std::string display;      // the label REAPER shows, e.g. "VST: ReaComp (Cockos)"
  std::string name;
  std::string vendor;
  std::string file;         // VST binary, JS path
  std::string id;           // VST unique id (VST3 with its {GUID}), CLAP id, AU and LV2 identifiers
  FxState state = FxState::Online;
  std::string preset;
  InstallStatus status = InstallStatus::Unknown;
  // AU component codes (subtype, manufacturer), 0 when absent.
  std::uint32_t auSubtype = 0, auManufacturer = 0;
};

struct MediaReference {
  std::string file;       // as written in the project
  bool exists = false;
  std::uint32_t uses = 0; // how many sources name it
  std::string foundByName;  // a missing file's namesake near the project (PathText), "" when none
};

// One distinct plug-in of a project, by format, file and id (by its label
// when it names neither) and, for AU, its component codes: the texts of its
// first instance (with no track, item, container or preset), its status,
// how many instances it has, and the tracks they sit on (1-based, 0 for the
// master; a take's or an input's chain counts for its track), each once,
// ascending once the project is read.
struct ProjectPlugin {
  PluginInstance first;
  std::uint32_t instances = 0;
  std::vector<std::int32_t> tracks;
  bool toPlay = false;  // an instance is online or bypassed: REAPER loads it
};

// What the reading asks once a project's texts are decoded. The defaults
// check nothing: every status stays "unknown", no media file exists.
class ProjectChecks {
 public:
  virtual ~ProjectChecks() = default;
  // Sets the status of a distinct plug-in (and may rename it).
  virtual void checkPlugin(PluginInstance&) {}
  // Whether a media file, as the project writes it, is there.
  virtual bool mediaExists(std::string_view) { return false; }
  // Where a file of the same name as a missing one is near the project
  // (PathText); "" when nowhere.
  virtual std::string findByName(std::string_view) { return {}; }
};

class ProjectInventory {
 public:
  bool isProject = false;
  std::string reaperVersion;
  std::string reaperPlatform;
  std::int32_t tracks = 0;
  std::uint64_t instances = 0;
  std::uint64_t missingInstances = 0;  // instances whose plug-in is missing
  std::uint64_t missingPlugins = 0;    // distinct plug-ins that are missing
  std::uint64_t media = 0;             // distinct media files
  std::uint64_t missingMedia = 0;
  std::vector<ProjectPlugin> plugins;  // in the order of their first instance
  // Whether it opens here, and its distinct missing plug-ins: those REAPER
  // loads (an instance online or bypassed) and the others.
  ProjectStatus status = ProjectStatus::Complete;
  std::uint32_t missingToPlay = 0, missingToEdit = 0;

  // Hands out every instance in file order, then every media file in the
  // order first named; the references live until the next call. False when
  // what was set aside could not be read back (failureReason() says why),
  // or could not be written when it was read.
  bool forEach(const std::function<void(const PluginInstance&)>& instance,
               const std::function<void(const MediaReference&)>& media);
  // Hands out only the media files, as forEach does.
  bool forEachMedia(const std::function<void(const MediaReference&)>& media) const;
  bool failed() const { return spool_ && spool_->failed(); }
  Text failureReason() const { return spool_ ? spool_->failureReason() : Text(); }

 private:
  friend ProjectInventory readProjectInventory(BlockReader&, ProjectChecks&, TextView);
  std::unique_ptr<SpillBuffer> spool_;
  bool ansi_ = false;
  std::uint64_t mediaStart_ = 0;  // where the media files' records start in spool_
};

// Reads the whole project from the reader. What is set aside beyond memory
// goes into a scratch file in `scratchFolder` ("" for the system's folder
// for temporary files).
ProjectInventory readProjectInventory(BlockReader& reader, ProjectChecks& checks, TextView scratchFolder = {});
ProjectInventory readProjectInventory(BlockReader& reader);

// A project's status from its distinct plug-ins and its missing media files:
// "incomplete", else "unknown", else "plays", else "complete". Unknown or
// missing plug-ins count only where REAPER loads them (ProjectPlugin::toPlay),
// except that a missing one REAPER does not load makes it "plays".
ProjectStatus projectStatusOf(const std::vector<ProjectPlugin>& plugins, std::uint64_t missingMedia);

// Splits a plug-in label into name and vendor: the format prefix ("VST3i: ")
// goes, the vendor is the last parenthesised group that is not a channel
// note such as "(8ch)", "(4 out)" or "(2->4ch)", and the name is what is
// before it. Sets instrument from the prefix.
void splitPluginLabel(std::string_view label, std::string& name, std::string& vendor, bool& instrument);

// The tokens of a line as REAPER writes them: separated by spaces or tabs, a
// token that starts with ", ' or ` runs to the next same quote. Calls
// `token` with each decoded token until it returns false.
template <typename Visit>
void forEachToken(std::string_view line, Visit&& token) {
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n) return;
    const char q = line[i];
    std::string_view t;
    if (q == '"' || q == '\'' || q == '`') {
      const std::size_t close = line.find(q, i + 1);
      const std::size_t stop = close == std::string_view::npos ? n : close;
      t = line.substr(i + 1, stop - i - 1);
      i = stop == n ? n : stop + 1;
    } else {
      std::size_t j = i;
      while (j < n && line[j] != ' ' && line[j] != '\t') ++j;
      t = line.substr(i, j - i);
      i = j;
    }
    if (!token(t)) return;
  }
}
