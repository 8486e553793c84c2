#include "core/project_data.h"

// The one list of what the scanner fills (with the lines it reads): emptying
// is taking from an empty model.
void ProjectData::resetScannedContent() { takeScannedContent(ProjectData()); }

void ProjectData::takeScannedContent(ProjectData&& other) {
  lines = std::move(other.lines);
  info.reaperVersion = std::move(other.info.reaperVersion);
  info.reaperPlatform = std::move(other.info.reaperPlatform);
  info.tempo = other.info.tempo;
  master = std::move(other.master);
  tracks = std::move(other.tracks);
}

TrackRecord& ProjectData::addTrack() { return tracks.emplace_back(); }

PluginRecord& addPlugin(PluginList& list, TextView state) {
  PluginRecord& plugin = list.emplace_back();
  plugin.state = state;
  return plugin;
}
