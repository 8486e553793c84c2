#include "core/project_data.h"

void ProjectData::resetScannedContent() {
  lines.clear();
  info.reaperVersion.clear();
  info.reaperPlatform.clear();
  info.tempo = 0;
  master = MasterRecord{};
  tracks = std::vector<TrackRecord>{};
}

void ProjectData::takeScannedContent(ProjectData&& other) {
  lines = std::move(other.lines);
  info.reaperVersion = std::move(other.info.reaperVersion);
  info.reaperPlatform = std::move(other.info.reaperPlatform);
  info.tempo = other.info.tempo;
  master = std::move(other.master);
  tracks = std::move(other.tracks);
}

TrackRecord& ProjectData::addTrack() { return tracks.emplace_back(); }

PluginRecord& addPlugin(std::vector<PluginRecord>& list, TextView state) {
  PluginRecord& plugin = list.emplace_back();
  plugin.state = Text(state);
  return plugin;
}
