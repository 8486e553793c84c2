#include "core/scanner.h"

#include <string_view>

namespace {

constexpr TextView Q = u"\"";

struct ScanState {
  bool inMasterFxList = false;
  bool inTrackFxChain = false;
  int trackStage = 0;
};

bool StartsWith(TextView line, TextView prefix) { return TextEquals(TextHead(line, TextLength(prefix)), prefix); }

// Characters first to last (1-based, inclusive) equal `expected`.
bool CharsAre(TextView line, std::int64_t first, std::int64_t last, TextView expected) {
  return TextEquals(TextSlice(line, first, last - first + 1), expected);
}

// The text from position p up to the first space at or after it; empty when
// no space follows.
TextView ValueField(TextView line, std::int64_t p) { return TextSlice(line, p, TextFindFrom(line, u" ", p) - p); }

// Text after a keyword of `keywordLength` characters and one space.
TextView AfterKeyword(TextView line, std::int64_t keywordLength) {
  return TextTail(line, TextLength(line) - (keywordLength + 1));
}

void ReadHeader(TextView line, ProjectInfo& info) {
  const std::int64_t q1 = TextFind(line, Q);
  const std::int64_t s = TextFind(line, u"/");
  if (q1 > 0) {
    // REAPER 4 writes a version alone in the quotes: "4.52".
    const std::int64_t close = TextFindFrom(line, Q, q1 + 1);
    const std::int64_t slash = TextFindFrom(line, u"/", q1 + 1);
    if (slash == 0 || (close > 0 && slash > close)) {
      info.reaperVersion = Text(TextSlice(line, q1 + 1, (close > 0 ? close : TextLength(line) + 1) - q1 - 1));
      info.reaperPlatform.clear();
      return;
    }
  }
  info.reaperVersion = Text(TextSlice(line, q1 + 1, s - q1 - 1));
  const std::int64_t q2 = TextFindFrom(line, Q, s);
  info.reaperPlatform = Text(TextSlice(line, s + 1, q2 - s - 1));
}

// Sets kind and name of a plug-in from its description line.
void Describe(PluginRecord* plugin, TextView line, TextView kind, std::int64_t n, std::int64_t f) {
  if (!plugin) return;
  plugin->kind = Text(kind);
  const std::int64_t q = TextFindFrom(line, Q, f);
  plugin->name = Text(TextSlice(line, n, q - n));
}

void DescribeMasterVst(PluginRecord* plugin, TextView line) {
  if (CharsAre(line, 7, 10, u"VST:")) Describe(plugin, line, u"VST2 effect", 12, 7);
}

void DescribeTrackVst(PluginRecord* plugin, TextView line) {
  if (CharsAre(line, 7, 10, u"VSTi")) Describe(plugin, line, u"VST2 instrument", 13, 7);
  else if (CharsAre(line, 7, 10, u"VST:")) Describe(plugin, line, u"VST2 effect", 12, 7);
  else if (CharsAre(line, 7, 11, u"VST3i")) Describe(plugin, line, u"VST3 instrument", 14, 7);
  else if (CharsAre(line, 7, 11, u"VST3:")) Describe(plugin, line, u"VST3 effect", 13, 7);
}

void DescribeTrackClap(PluginRecord* plugin, TextView line) {
  if (CharsAre(line, 8, 12, u"CLAPi")) Describe(plugin, line, u"CLAP instrument", 15, 8);
  else if (CharsAre(line, 8, 12, u"CLAP:")) Describe(plugin, line, u"CLAP effect", 14, 8);
}

TextView TrackPreset(TextView line) {
  TextView p = AfterKeyword(line, 10);
  if (TextEquals(TextHead(p, 1), Q)) p = TextTail(p, TextLength(p) - 1);
  if (TextEquals(TextTail(p, 1), Q)) p = TextHead(p, TextLength(p) - 1);
  return p;
}

PluginRecord* CurrentTrackPlugin(ProjectData& project) {
  TrackRecord* track = project.currentTrack();
  return track ? currentPlugin(track->plugins) : nullptr;
}

// Whether a line stored one byte per unit can match any test: it starts with
// one of the tested keywords, or, inside the master FX list, holds "VST3:" at
// characters 7 to 11. A line that cannot is skipped without being widened.
bool MayMatch(std::string_view line, bool inMasterFxList) {
  auto starts = [&](std::string_view keyword) { return line.substr(0, keyword.size()) == keyword; };
  if (inMasterFxList && line.size() > 6 && line.substr(6, 5) == "VST3:") return true;
  if (line.empty()) return false;
  switch (line[0]) {
    case '<':
      return starts("<REAPER_PROJECT") || starts("<MASTERFXLIST") || starts("<VST") || starts("<CLAP") ||
             starts("<MASTERPLAYSPEEDENV") || starts("<TRACK") || starts("<FXCHAIN");
    case 'T': return starts("TEMPO ");
    case 'M': return starts("MASTER_VOLUME") || starts("MASTER_FX") || starts("MUTESOLO");
    case 'B': return starts("BYPASS");
    case 'N': return starts("NAME");
    case 'V': return starts("VOLPAN");
    case 'P': return starts("PRESETNAME");
    default: return false;
  }
}

void ScanLine(TextView line, ProjectData& project, ScanState& state) {
  MasterRecord& master = project.master;
  if (StartsWith(line, u"<REAPER_PROJECT")) ReadHeader(line, project.info);
  if (StartsWith(line, u"TEMPO ")) project.info.tempo = RoundToInteger(TextToFloat(ValueField(line, 7)));
  if (StartsWith(line, u"MASTER_VOLUME")) master.volume = TextToFloat(ValueField(line, 15));
  if (StartsWith(line, u"MASTER_FX")) master.fxState = TextEquals(TextTail(line, 1), u"1") ? u"online" : u"bypass";
  if (StartsWith(line, u"<MASTERFXLIST")) state.inMasterFxList = true;
  if (state.inMasterFxList) {
    if (StartsWith(line, u"BYPASS"))
      addPlugin(master.plugins, CharsAre(line, 8, 8, u"1") ? u"bypass" : u"online");
    if (StartsWith(line, u"<VST")) DescribeMasterVst(currentPlugin(master.plugins), line);
    if (CharsAre(line, 7, 11, u"VST3:")) Describe(currentPlugin(master.plugins), line, u"VST3 effect", 13, 7);
    if (StartsWith(line, u"<CLAP") && CharsAre(line, 8, 12, u"CLAP:"))
      Describe(currentPlugin(master.plugins), line, u"CLAP effect", 14, 8);
    if (StartsWith(line, u"PRESETNAME"))
      if (PluginRecord* plugin = currentPlugin(master.plugins)) plugin->presetName = Text(AfterKeyword(line, 10));
  }
  if (StartsWith(line, u"<MASTERPLAYSPEEDENV")) state.inMasterFxList = false;
  if (StartsWith(line, u"<TRACK")) {
    project.addTrack();
    state.trackStage = 0;
  }
  TrackRecord* track = project.currentTrack();
  if (state.trackStage < 1 && StartsWith(line, u"NAME") && track) {
    track->name = Text(AfterKeyword(line, 4));
    state.trackStage = 1;
  }
  if (state.trackStage < 2 && StartsWith(line, u"VOLPAN") && track) {
    const std::int64_t s = TextFindFrom(line, u" ", 8);
    track->volume = TextToFloat(ValueField(line, 8));
    track->pan = s == 0 ? 0.0f : 100.0f * TextToFloat(ValueField(line, s + 1));
    state.trackStage = 2;
  }
  if (StartsWith(line, u"MUTESOLO") && track) {
    track->mute = CharsAre(line, 10, 10, u"1") ? u"ON" : u"OFF";
    track->solo = CharsAre(line, 12, 12, u"2") ? u"ON" : u"OFF";
  }
  if (StartsWith(line, u"<FXCHAIN")) state.inTrackFxChain = true;
  if (state.inTrackFxChain && track) {
    if (StartsWith(line, u"BYPASS")) addPlugin(track->plugins, CharsAre(line, 8, 8, u"0") ? u"online" : u"bypass");
    if (StartsWith(line, u"<VST")) DescribeTrackVst(CurrentTrackPlugin(project), line);
    if (StartsWith(line, u"<CLAP")) DescribeTrackClap(CurrentTrackPlugin(project), line);
    if (StartsWith(line, u"PRESETNAME"))
      if (PluginRecord* plugin = CurrentTrackPlugin(project)) plugin->presetName = Text(TrackPreset(line));
  }
}

}  // namespace

void scanProject(ProjectData& project) {
  ScanState state;
  Text scratch;
  const std::int64_t count = project.lineCount();
  std::string_view bytes;
  for (std::int64_t i = 0; i < count; ++i) {
    if (project.lines.narrow(i, bytes) && !MayMatch(bytes, state.inMasterFxList)) continue;
    ScanLine(project.lines.at(i, scratch), project, state);
  }
}
