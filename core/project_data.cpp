#include "core/project_data.h"

void ProjectData::resetScannedContent() {
  lines.clear();
  info.reaperVersion.clear();
  info.reaperPlatform.clear();
  info.tempo = 0;
  master.volume = 0;
  master.fxState = Word();
  master.plugins.clear();
  tracks.clear();
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

PluginRecord& addPlugin(PluginList& list, TextView state) {
  PluginRecord& plugin = list.emplace_back();
  plugin.state = state;
  return plugin;
}
