// The loaded project: its lines, the facts about its file and header, the
// master bus and the tracks, each with its chain of plug-ins.
//
// Absent values are empty texts and zeros. State words are held as the very
// texts the report shows ("ON"/"OFF", "online"/"bypass"). Only loading and
// the scanner change the model; the report only reads it.
#pragma once

#include "core/line_table.h"
#include "runtime/os_file.h"
#include "runtime/text.h"

#include <cstdint>
#include <vector>

struct PluginRecord {
  Text kind;        // "VST2 effect", ..., or "" when the description is not recognised
  Text name;
  Text presetName;
  Text state;       // "online" or "bypass"
};

struct TrackRecord {
  Text name;        // as the file has it, quotes included
  float volume = 0;
  float pan = 0;    // the file's pan times 100
  Text mute;        // "ON", "OFF" or ""
  Text solo;
  std::vector<PluginRecord> plugins;
};

struct MasterRecord {
  float volume = 0;
  Text fxState;     // "online", "bypass" or ""
  std::vector<PluginRecord> plugins;
};

struct ProjectInfo {
  Text projectPath;    // "" when no project is chosen
  Text projectFolder;  // up to and including the last separator
  Text projectName;    // the file name without its last four characters
  Text projectDate;    // "dd/mm/yyyy hh:ii", local time
  FileIdentity projectFile;  // the file that was read, so that no report is written onto it
  Text reaperVersion;
  Text reaperPlatform;
  std::int64_t tempo = 0;
};

struct ProjectData {
  LineTable lines;
  ProjectInfo info;
  MasterRecord master;
  std::vector<TrackRecord> tracks;

  std::int64_t lineCount() const { return lines.count(); }
  void appendLine(TextView line) { lines.append(line); }
  // Empties the lines and everything the scanner fills; keeps the four file facts.
  void resetScannedContent();
  // Takes the lines and everything the scanner filled from `other` (whose
  // own are released); keeps the four file facts.
  void takeScannedContent(ProjectData&& other);
  TrackRecord& addTrack();
  TrackRecord* currentTrack() { return tracks.empty() ? nullptr : &tracks.back(); }
};

PluginRecord& addPlugin(std::vector<PluginRecord>& list, TextView state);
inline PluginRecord* currentPlugin(std::vector<PluginRecord>& list) {
  return list.empty() ? nullptr : &list.back();
}
