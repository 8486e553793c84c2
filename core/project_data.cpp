#include "core/project_data.h"

void ProjectData::resetScannedContent() {
  lines.clear();
  info.reaperVersion.clear();
  info.reaperPlatform.clear();
  info.tempo = 0;
  master = MasterRecord{};
  tracks = std::vector<TrackRecord>{};
}

TrackRecord& ProjectData::addTrack() { return tracks.emplace_back(); }

PluginRecord& addPlugin(std::vector<PluginRecord>& list, TextView state) {
  PluginRecord& plugin = list.emplace_back();
  plugin.state = Text(state);
  return plugin;
}
