#include "core/scanner.h"

#include <array>
#include <bit>
#include <cstdint>
#include <string_view>

namespace {

constexpr TextView kQuote = u"\"";

struct ScanState {
  bool inMasterFxList = false;
  bool inTrackFxChain = false;
  int trackStage = 0;
  // The current line's own storage, which a long name may take over; once
  // taken (line == nullptr) nothing more is read from the line.
  Text* line = nullptr;
};

// Names from this many units on are taken out of the line's storage rather
// than copied, so that a huge name is never held twice.
constexpr std::size_t kTakeNamesFrom = 64 * 1024;

// Whether the line holds the ASCII text `part` at character `position`
// (1-based) and on. One test for both forms of a line: its text, and its
// bytes when it is stored one byte per unit.
template <class Line>
bool holds(const Line& line, std::int64_t position, std::string_view part) {
  const auto start = static_cast<std::size_t>(position - 1);
  if (line.size() < start + part.size()) return false;
  for (std::size_t i = 0; i < part.size(); ++i) {
    const auto unit = line[start + i];
    const char16_t value = sizeof unit == 1 ? static_cast<unsigned char>(unit) : static_cast<char16_t>(unit);
    if (value != static_cast<unsigned char>(part[i])) return false;
  }
  return true;
}

template <class Line>
bool startsWith(const Line& line, std::string_view keyword) {
  return holds(line, 1, keyword);
}

// The keywords the tests look for at the start of a line.
constexpr std::string_view kHeader = "<REAPER_PROJECT";
constexpr std::string_view kTempo = "TEMPO ";
constexpr std::string_view kMasterVolume = "MASTER_VOLUME";
constexpr std::string_view kMasterFx = "MASTER_FX";
constexpr std::string_view kMasterFxList = "<MASTERFXLIST";
constexpr std::string_view kMasterPlaySpeed = "<MASTERPLAYSPEEDENV";
constexpr std::string_view kTrack = "<TRACK";
constexpr std::string_view kTrackName = "NAME";
constexpr std::string_view kVolumePan = "VOLPAN";
constexpr std::string_view kMuteSolo = "MUTESOLO";
constexpr std::string_view kFxChain = "<FXCHAIN";
constexpr std::string_view kBypass = "BYPASS";
constexpr std::string_view kPresetName = "PRESETNAME";

// Fixed character positions of the values on those lines.
constexpr std::int64_t kTempoAt = 7;          // "TEMPO 120 4 4"
constexpr std::int64_t kMasterVolumeAt = 15;  // "MASTER_VOLUME 1 0 -1 -1 1"
constexpr std::int64_t kBypassAt = 8;         // "BYPASS 0 0 0": 1 bypassed, 0 online
constexpr std::int64_t kVolumeAt = 8;         // "VOLPAN 1 0 -1 -1 1": volume, then pan
constexpr std::int64_t kMuteAt = 10;          // "MUTESOLO 1 2 0": 1 muted ...
constexpr std::int64_t kSoloAt = 12;          // ... 2 solo

// The plug-in kinds. A description line opens with its format keyword, one
// space and a quoted display text: a format prefix, a colon, one space and the
// plug-in's name, as in
//   <VST "VST3: Pro-L 2 (FabFilter)" ...
// The first row of its chain whose opening and prefix the line holds gives the
// current plug-in of that chain its kind and its name: from `nameAt` up to the
// closing quote, looked for from `quoteFrom` (the character after the opening
// quote). A line that no row takes leaves the plug-in as it was.
enum class Chain { Master, Track };

struct PluginKind {
  Chain chain;
  std::string_view opening;  // the line starts with it; empty for any line of the master FX list
  std::int64_t prefixAt;
  std::string_view prefix;
  Word kind;
  std::int64_t nameAt;
  std::int64_t quoteFrom;
};

constexpr PluginKind kPluginKinds[] = {
    // The master FX list knows effects only; "VST3:" counts there whatever opens the line.
    {Chain::Master, "<VST", 7, "VST:", Word::known(u"VST2 effect"), 12, 7},
    {Chain::Master, "", 7, "VST3:", Word::known(u"VST3 effect"), 13, 7},
    {Chain::Master, "<CLAP", 8, "CLAP:", Word::known(u"CLAP effect"), 14, 8},
    {Chain::Track, "<VST", 7, "VSTi", Word::known(u"VST2 instrument"), 13, 7},
    {Chain::Track, "<VST", 7, "VST:", Word::known(u"VST2 effect"), 12, 7},
    {Chain::Track, "<VST", 7, "VST3i", Word::known(u"VST3 instrument"), 14, 7},
    {Chain::Track, "<VST", 7, "VST3:", Word::known(u"VST3 effect"), 13, 7},
    {Chain::Track, "<CLAP", 8, "CLAPi", Word::known(u"CLAP instrument"), 15, 8},
    {Chain::Track, "<CLAP", 8, "CLAP:", Word::known(u"CLAP effect"), 14, 8},
};

template <class Line>
const PluginKind* kindOf(const Line& line, Chain chain) {
  for (const PluginKind& k : kPluginKinds)
    if (k.chain == chain && startsWith(line, k.opening) && holds(line, k.prefixAt, k.prefix)) return &k;
  return nullptr;
}

bool chainOpen(Chain chain, const ScanState& state) {
  return chain == Chain::Master ? state.inMasterFxList : state.inTrackFxChain;
}

// The text from position p up to the first space at or after it; empty when
// no space follows.
TextView valueField(TextView line, std::int64_t p) { return TextSlice(line, p, TextFindFrom(line, u" ", p) - p); }

// Text after a keyword and one space.
TextView afterKeyword(TextView line, std::string_view keyword) {
  return TextTail(line, TextLength(line) - (static_cast<std::int64_t>(keyword.size()) + 1));
}

void readHeader(TextView line, ProjectInfo& info) {
  const std::int64_t q1 = TextFind(line, kQuote);
  const std::int64_t s = TextFind(line, u"/");
  if (q1 > 0) {
    // REAPER 4 writes a version alone in the quotes: "4.52".
    const std::int64_t close = TextFindFrom(line, kQuote, q1 + 1);
    const std::int64_t slash = TextFindFrom(line, u"/", q1 + 1);
    if (slash == 0 || (close > 0 && slash > close)) {
      info.reaperVersion = Text(TextSlice(line, q1 + 1, (close > 0 ? close : TextLength(line) + 1) - q1 - 1));
      info.reaperPlatform.clear();
      return;
    }
  }
  info.reaperVersion = Text(TextSlice(line, q1 + 1, s - q1 - 1));
  const std::int64_t q2 = TextFindFrom(line, kQuote, s);
  info.reaperPlatform = Text(TextSlice(line, s + 1, q2 - s - 1));
}

void describe(PluginRecord* plugin, TextView line, Chain chain) {
  const PluginKind* k = kindOf(line, chain);
  if (!plugin || !k) return;
  plugin->kind = k->kind;
  const std::int64_t q = TextFindFrom(line, kQuote, k->quoteFrom);
  plugin->name = Text(TextSlice(line, k->nameAt, q - k->nameAt));
}

TextView trackPreset(TextView line) {
  TextView p = afterKeyword(line, kPresetName);
  if (TextEquals(TextHead(p, 1), kQuote)) p = TextTail(p, TextLength(p) - 1);
  if (TextEquals(TextTail(p, 1), kQuote)) p = TextHead(p, TextLength(p) - 1);
  return p;
}

// The text after a keyword and one space, as a Text of its own.
Text takeAfterKeyword(TextView line, std::string_view keyword, ScanState& state) {
  const TextView rest = afterKeyword(line, keyword);
  Text* owner = state.line;
  if (!owner || rest.size() < kTakeNamesFrom || rest.data() + rest.size() != owner->data() + owner->size() ||
      owner->capacity() > owner->size() + owner->size() / 2)
    return Text(rest);
  owner->erase(0, owner->size() - rest.size());
  Text taken = std::move(*owner);
  owner->clear();
  state.line = nullptr;
  return taken;
}

PluginRecord* currentTrackPlugin(ProjectData& project) {
  TrackRecord* track = project.currentTrack();
  return track ? currentPlugin(track->plugins) : nullptr;
}

// The tests, tried in this order on every line; each does its work on the
// lines that start with its keyword, or, without a keyword, on the plug-in
// description lines of its chain (see kPluginKinds). The work checks what else
// it needs (an open chain, a current record).
struct LineRule {
  std::string_view keyword;
  Chain chain;  // for the description rules
  void (*work)(TextView line, ProjectData& project, ScanState& state);
};

constexpr LineRule kLineRules[] = {
    {kHeader, Chain::Master, [](TextView line, ProjectData& p, ScanState&) { readHeader(line, p.info); }},
    {kTempo, Chain::Master,
     [](TextView line, ProjectData& p, ScanState&) {
       p.info.tempo = RoundToInteger(TextToFloat(valueField(line, kTempoAt)));
     }},
    {kMasterVolume, Chain::Master,
     [](TextView line, ProjectData& p, ScanState&) {
       p.master.volume = TextToFloat(valueField(line, kMasterVolumeAt));
     }},
    {kMasterFx, Chain::Master,
     [](TextView line, ProjectData& p, ScanState&) {
       p.master.fxState = TextEquals(TextTail(line, 1), u"1") ? u"online" : u"bypass";
     }},
    {kMasterFxList, Chain::Master, [](TextView, ProjectData&, ScanState& s) { s.inMasterFxList = true; }},
    // The master FX list: a master plug-in is bypassed only for "1".
    {kBypass, Chain::Master,
     [](TextView line, ProjectData& p, ScanState& s) {
       if (s.inMasterFxList) addPlugin(p.master.plugins, holds(line, kBypassAt, "1") ? u"bypass" : u"online");
     }},
    {{}, Chain::Master,
     [](TextView line, ProjectData& p, ScanState& s) {
       if (s.inMasterFxList) describe(currentPlugin(p.master.plugins), line, Chain::Master);
     }},
    {kPresetName, Chain::Master,
     [](TextView line, ProjectData& p, ScanState& s) {
       if (!s.inMasterFxList) return;
       if (PluginRecord* plugin = currentPlugin(p.master.plugins))
         plugin->presetName = Text(afterKeyword(line, kPresetName));
     }},
    {kMasterPlaySpeed, Chain::Master, [](TextView, ProjectData&, ScanState& s) { s.inMasterFxList = false; }},
    // Tracks: only the first name and volume/pan lines after the track line are the track's.
    {kTrack, Chain::Track,
     [](TextView, ProjectData& p, ScanState& s) {
       p.addTrack();
       s.trackStage = 0;
     }},
    {kTrackName, Chain::Track,
     [](TextView line, ProjectData& p, ScanState& s) {
       TrackRecord* track = p.currentTrack();
       if (s.trackStage >= 1 || !track) return;
       track->name = takeAfterKeyword(line, kTrackName, s);
       s.trackStage = 1;
     }},
    {kVolumePan, Chain::Track,
     [](TextView line, ProjectData& p, ScanState& s) {
       TrackRecord* track = p.currentTrack();
       if (s.trackStage >= 2 || !track) return;
       const std::int64_t space = TextFindFrom(line, u" ", kVolumeAt);
       track->volume = TextToFloat(valueField(line, kVolumeAt));
       track->pan = space == 0 ? 0.0f : 100.0f * TextToFloat(valueField(line, space + 1));
       s.trackStage = 2;
     }},
    {kMuteSolo, Chain::Track,
     [](TextView line, ProjectData& p, ScanState&) {
       TrackRecord* track = p.currentTrack();
       if (!track) return;
       track->mute = holds(line, kMuteAt, "1") ? u"ON" : u"OFF";
       track->solo = holds(line, kSoloAt, "2") ? u"ON" : u"OFF";
     }},
    // Once a track FX chain has opened, every later plug-in line is the current track's.
    {kFxChain, Chain::Track, [](TextView, ProjectData&, ScanState& s) { s.inTrackFxChain = true; }},
    // A track plug-in is online only for "0".
    {kBypass, Chain::Track,
     [](TextView line, ProjectData& p, ScanState& s) {
       TrackRecord* track = p.currentTrack();
       if (s.inTrackFxChain && track)
         addPlugin(track->plugins, holds(line, kBypassAt, "0") ? u"online" : u"bypass");
     }},
    {{}, Chain::Track,
     [](TextView line, ProjectData& p, ScanState& s) {
       if (s.inTrackFxChain) describe(currentTrackPlugin(p), line, Chain::Track);
     }},
    {kPresetName, Chain::Track,
     [](TextView line, ProjectData& p, ScanState& s) {
       if (!s.inTrackFxChain) return;
       if (PluginRecord* plugin = currentTrackPlugin(p)) plugin->presetName = Text(trackPreset(line));
     }},
};

// For each first byte, the rules (bit r: kLineRules[r]) a line starting with
// it may meet: keyword rules by their keyword's first character, description
// rules by the openings of their chain's kinds. With `keywordOnce`, of two
// rules that test the same keyword only the first is counted: enough to know
// whether a line may meet any rule.
constexpr std::array<std::uint32_t, 256> rulesByFirstByte(bool keywordOnce) {
  static_assert(std::size(kLineRules) <= 32);
  std::array<std::uint32_t, 256> table{};
  for (std::size_t r = 0; r < std::size(kLineRules); ++r) {
    const LineRule& rule = kLineRules[r];
    if (!rule.keyword.empty()) {
      bool seen = false;
      for (std::size_t before = 0; before < r; ++before) seen = seen || kLineRules[before].keyword == rule.keyword;
      if (!(keywordOnce && seen)) table[static_cast<unsigned char>(rule.keyword[0])] |= 1u << r;
    }
    for (const PluginKind& k : kPluginKinds)
      if (rule.keyword.empty() && k.chain == rule.chain && !k.opening.empty())
        table[static_cast<unsigned char>(k.opening[0])] |= 1u << r;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kRulesByFirstByte = rulesByFirstByte(false);
constexpr std::array<std::uint32_t, 256> kFilterByFirstByte = rulesByFirstByte(true);

// The kinds without an opening keyword, looked for on every line of an open chain.
constexpr std::size_t kKindsWithoutOpeningCount = [] {
  std::size_t n = 0;
  for (const PluginKind& k : kPluginKinds) n += k.opening.empty();
  return n;
}();
constexpr std::array<const PluginKind*, kKindsWithoutOpeningCount> kKindsWithoutOpening = [] {
  std::array<const PluginKind*, kKindsWithoutOpeningCount> list{};
  std::size_t n = 0;
  for (const PluginKind& k : kPluginKinds)
    if (k.opening.empty()) list[n++] = &k;
  return list;
}();

// Whether a line stored one byte per unit can be taken by any test: a line
// that cannot is skipped without being widened. Built from the rules and the
// plug-in kinds, so a new keyword or kind is never filtered out.
bool mayMatch(std::string_view line, const ScanState& state) {
  if (line.empty()) return false;
  for (const PluginKind* k : kKindsWithoutOpening)
    if (chainOpen(k->chain, state) && holds(line, k->prefixAt, k->prefix)) return true;
  for (std::uint32_t rules = kFilterByFirstByte[static_cast<unsigned char>(line[0])]; rules != 0; rules &= rules - 1) {
    const LineRule& rule = kLineRules[std::countr_zero(rules)];
    if (rule.keyword.empty() ? chainOpen(rule.chain, state) && kindOf(line, rule.chain)
                             : startsWith(line, rule.keyword))
      return true;
  }
  return false;
}

void scanLine(TextView line, ProjectData& project, ScanState& state) {
  const std::uint32_t rules = !line.empty() && line[0] <= 0xFF ? kRulesByFirstByte[line[0]] : 0;
  for (std::size_t r = 0; r < std::size(kLineRules); ++r) {
    const LineRule& rule = kLineRules[r];
    const bool applies = rule.keyword.empty() ? chainOpen(rule.chain, state) && kindOf(line, rule.chain)
                                              : (rules >> r & 1) != 0 && startsWith(line, rule.keyword);
    if (applies) rule.work(line, project, state);
    if (!state.line) return;  // the line's storage was taken: its view is gone
  }
}

}  // namespace

void scanProject(ProjectData& project) {
  ScanState state;
  Text scratch;
  const std::int64_t count = project.lineCount();
  std::string_view bytes;
  for (std::int64_t i = 0; i < count; ++i) {
    if (project.lines.narrow(i, bytes) && !mayMatch(bytes, state)) continue;
    state.line = &scratch;
    scanLine(project.lines.at(i, scratch), project, state);
  }
}
