#include "core/project_inventory.h"

#include "core/project_header.h"
#include "runtime/codepage.h"
#include "runtime/leb128.h"
#include "runtime/utf8.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The first token of a line is exactly `word`.
bool firstWordIs(std::string_view line, std::string_view word) {
  return startsWith(line, word) && (line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\t');
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "(8ch)", "(2->4ch)", "(4 out)": REAPER's note of a plug-in's channels.
bool isChannelNote(std::string_view inner) {
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t from = i;
    while (i < inner.size() && isDigit(inner[i])) ++i;
    return i > from;
  };
  if (!digits()) return false;
  if (inner.substr(i) == " out" || inner.substr(i) == "ch") return true;
  if (inner.substr(i, 2) == "->") {
    i += 2;
    return digits() && inner.substr(i) == "ch";
  }
  return false;
}

std::string_view trimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::uint32_t parseUnsigned(std::string_view s) {
  std::uint64_t value = 0;
  for (char c : s) {
    if (!isDigit(c)) return 0;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 0xFFFFFFFFu) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

// What is set aside of a project: records of a tag byte and fields, numbers
// as LEB128, texts as their length and bytes.
enum Record : std::uint8_t {
  kContext = 1,   // the track (number, name) and take name the instances after it sit in
  kInstance = 2,  // location, state, plug-in, flags; [label, name, vendor, instrument]; container, preset
  kMedia = 3,     // file (decoded), exists, uses, found by name
};
constexpr std::uint8_t kOwnLabel = 1;  // the instance's label is not its plug-in's first one

class RecordWriter {
 public:
  explicit RecordWriter(SpillBuffer& out) : out_(out) {}
  void byte(std::uint8_t b) { pending_.push_back(static_cast<char>(b)); }
  void number(std::uint64_t n) { AppendLeb128(pending_, n); }
  void text(std::string_view t) {
    number(t.size());
    if (t.size() < kGather) {
      pending_ += t;
    } else {  // a long text goes out as it is, never copied
      flush();
      out_.write(t);
    }
  }
  // Called after each record.
  void end() {
    if (pending_.size() >= kGather) flush();
  }
  void flush() {
    if (!pending_.empty()) out_.write(pending_);
    pending_.clear();
  }

 private:
  static constexpr std::size_t kGather = 4096;
  SpillBuffer& out_;
  std::string pending_;
};

class RecordReader {
 public:
  explicit RecordReader(SpillBuffer& from, std::uint64_t start = 0) : in_(from, start) {}
  bool atEnd() const { return in_.atEnd(); }
  bool byte(std::uint8_t& b) {
    char c;
    if (!in_.read(&c, 1)) return false;
    b = static_cast<std::uint8_t>(c);
    return true;
  }
  bool number(std::uint64_t& n) {
    n = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      std::uint8_t b;
      if (!byte(b)) return false;
      n |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
  bool text(std::string& t) {
    std::uint64_t size;
    if (!number(size) || size > in_.left()) return false;
    t.resize(static_cast<std::size_t>(size));
    return in_.read(t.data(), t.size());
  }

 private:
  SpillBuffer::Reader in_;
};

// The distinct media files of a project while it is read, by their bytes,
// with how often each is named: the bytes in blocks, 16 bytes of entry and
// about 6 bytes of hash index a file.
class MediaSet {
 public:
  std::size_t size() const { return entries_.size(); }
  void add(std::string_view file) {
    if (entries_.size() + 1 > slots_.size() / 2) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = std::hash<std::string_view>()(file) & mask;; at = (at + 1) & mask) {
      if (slots_[at] == 0) {
        entries_.push_back({keep(file), static_cast<std::uint32_t>(file.size()), 0});
        slots_[at] = static_cast<std::uint32_t>(entries_.size());
        ++entries_.back().uses;
        return;
      }
      Entry& e = entries_[slots_[at] - 1];
      if (view(e) == file) {
        ++e.uses;
        return;
      }
    }
  }
  template <typename Visit>
  void forEach(Visit&& visit) const {
    for (const Entry& e : entries_) visit(view(e), e.uses);
  }

 private:
  struct Entry {
    const char* bytes;
    std::uint32_t size;
    std::uint32_t uses;
  };
  static std::string_view view(const Entry& e) { return {e.bytes, e.size}; }

  const char* keep(std::string_view file) {
    if (file.size() > kBlock / 4) {  // a long one in a block of its own
      long_.emplace_back(new char[file.size()]);
      std::memcpy(long_.back().get(), file.data(), file.size());
      return long_.back().get();
    }
    if (blocks_.empty() || used_ + file.size() > kBlock) {
      blocks_.emplace_back(new char[kBlock]);
      used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    std::memcpy(at, file.data(), file.size());
    used_ += file.size();
    return at;
  }

  void grow() {
    std::vector<std::uint32_t> slots(slots_.empty() ? 64 : slots_.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      std::size_t at = std::hash<std::string_view>()(view(entries_[i])) & mask;
      while (slots[at] != 0) at = (at + 1) & mask;
      slots[at] = static_cast<std::uint32_t>(i + 1);
    }
    slots_.swap(slots);
  }

  static constexpr std::size_t kBlock = std::size_t{64} << 10;
  std::vector<std::unique_ptr<char[]>> blocks_, long_;
  std::size_t used_ = 0;  // bytes taken in the last block
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> slots_;  // entry number + 1, 0 for none
};

// A plug-in's track as its instances come: runs on one track add it once,
// so that the list grows with the tracks, not with the instances.
void noteTrack(ProjectPlugin& plugin, const PluginInstance& p) {
  const std::int32_t track = p.location == FxLocation::Master ? 0 : p.track;
  if (plugin.tracks.empty() || plugin.tracks.back() != track) plugin.tracks.push_back(track);
}

// Where instances go as they are read: each one to the records set aside,
// its plug-in to the project's distinct ones.
class Collector {
 public:
  Collector(ProjectInventory& out, SpillBuffer& spool) : out_(out), records_(spool) {}

  // `context` changes whenever the track, its name or the take name does.
  void instance(const PluginInstance& p, std::uint64_t context, std::string_view trackName, std::string_view item) {
    if (p.location != FxLocation::Master && context != contextWritten_) {
      records_.byte(kContext);
      records_.number(static_cast<std::uint64_t>(p.track));
      records_.text(trackName);
      records_.text(item);
      contextWritten_ = context;
    }
    key_.assign(1, static_cast<char>(p.format));
    key_.append(reinterpret_cast<const char*>(&p.auSubtype), 4);
    key_.append(reinterpret_cast<const char*>(&p.auManufacturer), 4);
    if (!p.file.empty() || !p.id.empty()) {
      key_.push_back('f');
      key_ += p.file;
      key_.push_back('\0');
      key_ += p.id;
    } else {
      key_.push_back('d');
      key_ += p.display;
    }
    auto [it, added] = distinct_.try_emplace(key_, static_cast<std::uint32_t>(out_.plugins.size()));
    if (added) {
      ProjectPlugin plugin;
      plugin.first = p;
      plugin.first.container.clear();
      plugin.first.preset.clear();
      out_.plugins.push_back(std::move(plugin));
    }
    ProjectPlugin& plugin = out_.plugins[it->second];
    plugin.toPlay = plugin.toPlay || p.state == FxState::Online || p.state == FxState::Bypassed;
    ++plugin.instances;
    noteTrack(plugin, p);
    ++out_.instances;
    const bool ownLabel = p.display != plugin.first.display;
    records_.byte(kInstance);
    records_.byte(static_cast<std::uint8_t>(p.location));
    records_.byte(static_cast<std::uint8_t>(p.state));
    records_.number(it->second);
    records_.byte(ownLabel ? kOwnLabel : 0);
    if (ownLabel) {
      records_.text(p.display);
      records_.text(p.name);
      records_.text(p.vendor);
      records_.byte(p.instrument ? 1 : 0);
    }
    records_.text(p.container);
    records_.text(p.preset);
    records_.end();
  }

  void media(std::string_view file) { media_.add(file); }
  MediaSet& mediaSet() { return media_; }

  // Each plug-in's tracks, sorted and each once, when the project is read.
  void finishTracks() {
    for (ProjectPlugin& plugin : out_.plugins) {
      std::sort(plugin.tracks.begin(), plugin.tracks.end());
      plugin.tracks.erase(std::unique(plugin.tracks.begin(), plugin.tracks.end()), plugin.tracks.end());
      plugin.tracks.shrink_to_fit();
    }
  }
  RecordWriter& records() { return records_; }

 private:
  ProjectInventory& out_;
  RecordWriter records_;
  std::uint64_t contextWritten_ = ~std::uint64_t{0};
  std::string key_;
  std::unordered_map<std::string, std::uint32_t> distinct_;
  MediaSet media_;
};

enum class Frame : std::uint8_t { Project, Track, Item, Source, Chain, Freeze };

struct FrameState {
  Frame kind;
  FxLocation location = FxLocation::Master;
  bool frozen = false;
  std::string container;          // the innermost container's name, for chains
  bool bypassSeen = false;        // a BYPASS line waits for its plug-in
  FxState pending = FxState::Online;
  bool ownsPending = false;       // a PRESETNAME line belongs to the instance not yet handed on
};

FrameState makeFrame(Frame kind, FxLocation location = FxLocation::Master, bool frozen = false, std::string container = {}) {
  FrameState f;
  f.kind = kind;
  f.location = location;
  f.frozen = frozen;
  f.container = std::move(container);
  return f;
}

// The instance last read waits in the parser until no PRESETNAME line can
// belong to it any more (another BYPASS, plug-in or container in its chain,
// or the chain's end); only the innermost chain can hold one.
class Parser {
 public:
  Parser(ProjectInventory& out, Collector& collector) : out_(out), collector_(collector) {}

  // False when the first line shows the file is not a project.
  bool header(std::string_view line) {
    if (!isProjectHeader(line)) return false;
    out_.isProject = true;
    int index = 0;
    forEachToken(line, [&](std::string_view t) {
      if (index++ != 2) return true;
      const std::size_t slash = t.find('/');
      out_.reaperVersion = std::string(t.substr(0, slash));
      if (slash != std::string_view::npos) out_.reaperPlatform = std::string(t.substr(slash + 1));
      return false;
    });
    frames_.push_back(makeFrame(Frame::Project));
    return true;
  }

  // True when the rest of the block this line opened, or is in, is of no
  // interest: the caller skips it (BlockReader::skipBlock).
  bool line(std::string_view line) {
    skip_ = false;
    if (line.empty()) return false;
    const char c = line[0];
    if (c == '<') {
      open(line);
    } else if (c == '>') {
      if (!frames_.empty()) pop();
    } else if (!frames_.empty()) {
      content(line, c);
    }
    return skip_;
  }

 public:
  // Hands on the instance that waits, if any.
  void flush() {
    if (!hasPending_) return;
    hasPending_ = false;
    for (FrameState& f : frames_) f.ownsPending = false;
    collector_.instance(pending_, context_, trackName_, item_);
  }

 private:
  void ignore() { skip_ = true; }

  void pop() {
    if (frames_.back().ownsPending) flush();
    frames_.pop_back();
  }

  void open(std::string_view line) {
    if (frames_.empty()) return ignore();
    FrameState& top = frames_.back();
    switch (top.kind) {
      case Frame::Project:
        if (firstWordIs(line, "<TRACK")) {
          ++out_.tracks;
          ++context_;
          trackName_.clear();
          trackNamed_ = false;
          frames_.push_back(makeFrame(Frame::Track));
        } else if (firstWordIs(line, "<MASTERFXLIST")) {
          frames_.push_back(makeFrame(Frame::Chain, FxLocation::Master));
        } else {
          ignore();
        }
        return;
      case Frame::Track:
      case Frame::Freeze: {
        const bool frozen = top.kind == Frame::Freeze;
        if (firstWordIs(line, "<FXCHAIN")) frames_.push_back(makeFrame(Frame::Chain, FxLocation::Track, frozen));
        else if (firstWordIs(line, "<FXCHAIN_REC")) frames_.push_back(makeFrame(Frame::Chain, FxLocation::TrackInput, frozen));
        else if (firstWordIs(line, "<ITEM")) {
          takeName_.clear();
          frames_.push_back(makeFrame(Frame::Item, FxLocation::Take, frozen));
        } else if (firstWordIs(line, "<FREEZE")) frames_.push_back(makeFrame(Frame::Freeze, FxLocation::Track, true));
        else ignore();
        return;
      }
      case Frame::Item:
        if (firstWordIs(line, "<SOURCE")) frames_.push_back(makeFrame(Frame::Source));
        else if (firstWordIs(line, "<TAKEFX")) {
          item_ = takeName_;
          ++context_;
          frames_.push_back(makeFrame(Frame::Chain, FxLocation::Take, top.frozen));
        } else ignore();
        return;
      case Frame::Source:
        if (firstWordIs(line, "<SOURCE")) frames_.push_back(makeFrame(Frame::Source));
        else ignore();
        return;
      case Frame::Chain:
        chainBlock(line);
        return;
    }
  }

  void chainBlock(std::string_view line) {
    FrameState& chain = frames_.back();
    const std::size_t space = line.find_first_of(" \t");
    const std::string_view tag = line.substr(1, space == std::string_view::npos ? space : space - 1);
    if (tag == "CONTAINER") {
      std::string_view label, custom;
      int index = 0;
      forEachToken(line, [&](std::string_view t) {
        if (index == 1) label = t;
        if (index == 2) custom = t;
        return ++index < 3;
      });
      FrameState inner = makeFrame(Frame::Chain, chain.location, chain.frozen, std::string(custom.empty() ? label : custom));
      chain.bypassSeen = false;
      flush();
      frames_.push_back(std::move(inner));
      return;
    }
    static constexpr std::string_view kPlugins[] = {"VST", "AU", "CLAP", "JS", "LV2", "DX", "VIDEO_EFFECT"};
    bool known = false;
    for (std::string_view p : kPlugins) known = known || tag == p;
    // Every effect of a chain follows its BYPASS line; a block of another
    // kind there is an effect this program has no name for.
    if (known || chain.bypassSeen) addInstance(chain, tag, line);
    ignore();
  }

  void addInstance(FrameState& chain, std::string_view tag, std::string_view line) {
    flush();
    PluginInstance& p = pending_;
    p = PluginInstance();
    p.location = chain.location;
    if (chain.location != FxLocation::Master) p.track = out_.tracks;
    p.container = chain.container;
    p.state = chain.frozen ? FxState::Frozen : chain.pending;
    chain.bypassSeen = false;
    chain.pending = FxState::Online;

    std::string_view tokens[7];
    int count = 0;
    forEachToken(line, [&](std::string_view t) {
      tokens[count++] = t;
      return count < 7;
    });
    const std::string_view label = count > 1 ? tokens[1] : std::string_view();
    p.display = std::string(label);
    if (tag == "VST") {
      p.file = std::string(count > 2 ? tokens[2] : std::string_view());
      std::string_view id = count > 5 ? tokens[5] : std::string_view();
      p.id = std::string(id.substr(0, id.find('<')));
      const bool vst3 = startsWith(label, "VST3:") || startsWith(label, "VST3i:") ||
                        (!startsWith(label, "VST:") && !startsWith(label, "VSTi:") && p.file.size() >= 5 &&
                         p.file.compare(p.file.size() - 5, 5, ".vst3") == 0);
      p.format = vst3 ? FxFormat::Vst3 : FxFormat::Vst2;
    } else if (tag == "JS") {
      p.format = FxFormat::Js;
      p.file = std::string(label);
      const std::string_view custom = count > 2 ? tokens[2] : std::string_view();
      p.display = custom.empty() ? "JS: " + p.file : std::string(custom);
    } else if (tag == "CLAP" || tag == "LV2" || tag == "DX" || tag == "AU") {
      p.format = tag == "CLAP" ? FxFormat::Clap : tag == "LV2" ? FxFormat::Lv2 : tag == "DX" ? FxFormat::Dx : FxFormat::Au;
      p.id = std::string(count > 2 ? tokens[2] : std::string_view());
      if (p.format == FxFormat::Au && count > 6) {
        p.auSubtype = parseUnsigned(tokens[5]);
        p.auManufacturer = parseUnsigned(tokens[6]);
      }
    } else {
      p.format = FxFormat::Other;
      p.builtIn = tag == "VIDEO_EFFECT";
      if (p.display.empty()) p.display = std::string(tag);
    }
    if (p.format == FxFormat::Js) {
      std::string_view path = p.file;
      path = path.substr(path.find_last_of("/\\") == std::string_view::npos ? 0 : path.find_last_of("/\\") + 1);
      if (path.size() > 5 && path.substr(path.size() - 5) == ".jsfx") path.remove_suffix(5);
      p.name = std::string(path);
    } else if (p.format == FxFormat::Other) {
      p.name = p.display;
    } else {
      splitPluginLabel(label, p.name, p.vendor, p.instrument);
      if (p.format == FxFormat::Au && p.vendor.empty()) {
        // "AU: ITSR: StudioLink": the identifier is "Vendor: Name".
        const std::size_t colon = p.id.find(':');
        if (colon != std::string::npos) {
          p.vendor = std::string(trimSpaces(std::string_view(p.id).substr(0, colon)));
          p.name = std::string(trimSpaces(std::string_view(p.id).substr(colon + 1)));
        }
      }
    }
    hasPending_ = true;
    chain.ownsPending = true;
  }

  void content(std::string_view line, char c) {
    FrameState& top = frames_.back();
    switch (top.kind) {
      case Frame::Track:
        if (c == 'N' && !trackNamed_ && firstWordIs(line, "NAME")) {
          trackName_ = std::string(secondToken(line));
          trackNamed_ = true;
          ++context_;
        }
        return;
      case Frame::Item:
        if (c == 'N' && firstWordIs(line, "NAME")) takeName_ = std::string(secondToken(line));
        else if (c == 'T' && firstWordIs(line, "TAKE")) takeName_.clear();
        return;
      case Frame::Source:
        if (c == 'F' && firstWordIs(line, "FILE")) {
          addMedia(secondToken(line));
        } else if (c == 'H' && firstWordIs(line, "HASDATA")) {
          // The source keeps its data (MIDI events) in the project and names
          // no file: the rest of its block is skipped, its ">" with it.
          pop();
          skip_ = true;
        }
        return;
      case Frame::Chain:
        if (c == 'B' && firstWordIs(line, "BYPASS")) {
          int index = 0;
          bool bypassed = false, offline = false;
          forEachToken(line, [&](std::string_view t) {
            if (index == 1) bypassed = t == "1";
            if (index == 2) offline = t == "1";
            return ++index < 3;
          });
          top.bypassSeen = true;
          top.pending = offline ? FxState::Offline : bypassed ? FxState::Bypassed : FxState::Online;
          if (top.ownsPending) flush();
        } else if (c == 'P' && top.ownsPending && firstWordIs(line, "PRESETNAME")) {
          pending_.preset = std::string(secondToken(line));
        }
        return;
      default:
        return;
    }
  }

  static std::string_view secondToken(std::string_view line) {
    std::string_view second;
    int index = 0;
    forEachToken(line, [&](std::string_view t) {
      if (index == 1) second = t;
      return ++index < 2;
    });
    return second;
  }

  void addMedia(std::string_view file) {
    if (!file.empty()) collector_.media(file);
  }

  ProjectInventory& out_;
  Collector& collector_;
  std::vector<FrameState> frames_;
  bool skip_ = false;
  std::string trackName_;
  bool trackNamed_ = false;
  std::string takeName_;
  std::string item_;
  std::uint64_t context_ = 0;  // changes with the track, its name and the take name
  PluginInstance pending_;
  bool hasPending_ = false;
};

bool hasHighByte(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// Texts kept as the file's bytes become UTF-8: from the ANSI code page, or
// with each malformed UTF-8 sequence replaced by U+FFFD.
void decode(std::string& s, bool ansi) {
  if (!hasHighByte(s)) return;
  if (!ansi && IsWellFormedUtf8(s)) return;
  Text text;
  if (ansi) DecodeAnsi(s, text);
  else AppendUtf8Decoded(s, text);
  s.clear();
  AppendUtf8Encoded(text, s);
}

}  // namespace

std::string_view locationWord(FxLocation location) {
  switch (location) {
    case FxLocation::Master: return "master";
    case FxLocation::Track: return "track";
    case FxLocation::TrackInput: return "track_input";
    case FxLocation::Take: return "take";
  }
  return "";
}

std::string_view formatWord(FxFormat format) {
  static constexpr std::string_view kWords[] = {"VST2", "VST3", "CLAP", "JS", "AU", "LV2", "DX", "other"};
  return kWords[static_cast<int>(format)];
}

std::string_view stateWord(FxState state) {
  static constexpr std::string_view kWords[] = {"online", "bypassed", "offline", "frozen"};
  return kWords[static_cast<int>(state)];
}

std::string_view statusWord(InstallStatus status) {
  static constexpr std::string_view kWords[] = {"installed", "missing", "unknown"};
  return kWords[static_cast<int>(status)];
}

std::string_view projectStatusWord(ProjectStatus status) {
  static constexpr std::string_view kWords[] = {"complete", "plays", "incomplete", "unknown"};
  return kWords[static_cast<int>(status)];
}

ProjectStatus projectStatusOf(const std::vector<ProjectPlugin>& plugins, std::uint64_t missingMedia) {
  bool unknown = false, missingToEdit = false;
  for (const ProjectPlugin& plugin : plugins) {
    const InstallStatus status = plugin.first.status;
    if (status == InstallStatus::Missing && plugin.toPlay) return ProjectStatus::Incomplete;
    unknown = unknown || (status == InstallStatus::Unknown && plugin.toPlay);
    missingToEdit = missingToEdit || status == InstallStatus::Missing;
  }
  if (missingMedia > 0) return ProjectStatus::Incomplete;
  if (unknown) return ProjectStatus::Unknown;
  return missingToEdit ? ProjectStatus::Plays : ProjectStatus::Complete;
}

void splitPluginLabel(std::string_view label, std::string& name, std::string& vendor, bool& instrument) {
  instrument = false;
  const std::size_t colon = label.find(": ");
  if (colon != std::string_view::npos && colon <= 6) {
    const std::string_view prefix = label.substr(0, colon);
    static constexpr std::string_view kPrefixes[] = {"VST", "VSTi", "VST3", "VST3i", "CLAP", "CLAPi", "AU",
                                                     "AUi", "LV2", "LV2i", "DX",   "DXi",   "JS"};
    for (std::string_view p : kPrefixes) {
      if (prefix != p) continue;
      instrument = prefix.back() == 'i';
      label.remove_prefix(colon + 2);
      break;
    }
  }
  std::string_view rest = trimSpaces(label);
  vendor.clear();
  // Channel notes come off the end; the group before them is the vendor.
  for (;;) {
    if (rest.empty() || rest.back() != ')') break;
    const std::size_t open = rest.rfind('(');
    if (open == std::string_view::npos) break;
    const std::string_view inner = rest.substr(open + 1, rest.size() - open - 2);
    if (isChannelNote(inner)) {
      rest = trimSpaces(rest.substr(0, open));
      continue;
    }
    if (open > 0) {
      vendor = std::string(inner);
      rest = trimSpaces(rest.substr(0, open));
    }
    break;
  }
  name = std::string(rest);
}

ProjectInventory readProjectInventory(BlockReader& reader, ProjectChecks& checks, TextView scratchFolder) {
  ProjectInventory out;
  std::string_view line;
  out.spool_ = std::make_unique<SpillBuffer>(Text(scratchFolder));
  Collector collector(out, *out.spool_);
  Parser parser(out, collector);
  if (!reader.next(line) || !parser.header(line)) return out;
  while (reader.next(line)) {
    if (parser.line(line) && !reader.skipBlock()) break;
  }
  parser.flush();
  collector.finishTracks();
  // The encoding is known now: the texts kept are decoded and checked.
  const bool ansi = out.ansi_ = reader.textIsAnsi();
  decode(out.reaperVersion, ansi);
  decode(out.reaperPlatform, ansi);
  for (ProjectPlugin& plugin : out.plugins) {
    PluginInstance& p = plugin.first;
    for (std::string* s : {&p.display, &p.name, &p.vendor, &p.file, &p.id}) decode(*s, ansi);
    checks.checkPlugin(p);
    if (p.status == InstallStatus::Missing) {
      out.missingInstances += plugin.instances;
      ++out.missingPlugins;
      ++(plugin.toPlay ? out.missingToPlay : out.missingToEdit);
    }
  }
  RecordWriter& records = collector.records();
  records.flush();
  out.mediaStart_ = out.spool_->size();
  std::string file;
  collector.mediaSet().forEach([&](std::string_view bytes, std::uint32_t uses) {
    file.assign(bytes);
    decode(file, ansi);
    const bool exists = checks.mediaExists(file);
    // Only a missing file is looked for by its name.
    records.byte(kMedia);
    records.text(file);
    records.byte(exists ? 1 : 0);
    records.number(uses);
    records.text(exists ? std::string_view() : checks.findByName(file));
    records.end();
    ++out.media;
    out.missingMedia += exists ? 0 : 1;
  });
  records.flush();
  out.status = projectStatusOf(out.plugins, out.missingMedia);
  return out;
}

ProjectInventory readProjectInventory(BlockReader& reader) {
  ProjectChecks none;
  return readProjectInventory(reader, none);
}

namespace {

// A media file's record, after its tag.
bool readMedia(RecordReader& in, MediaReference& m) {
  std::uint8_t exists;
  std::uint64_t uses;
  if (!in.text(m.file) || !in.byte(exists) || !in.number(uses) || !in.text(m.foundByName)) return false;
  m.exists = exists != 0;
  m.uses = static_cast<std::uint32_t>(uses);
  return true;
}

}  // namespace

bool ProjectInventory::forEachMedia(const std::function<void(const MediaReference&)>& each) const {
  if (!spool_) return true;
  if (spool_->failed()) return false;
  RecordReader in(*spool_, mediaStart_);
  MediaReference m;
  std::uint8_t tag;
  while (!in.atEnd()) {
    if (!in.byte(tag) || tag != kMedia || !readMedia(in, m)) return false;
    each(m);
  }
  return true;
}

bool ProjectInventory::forEach(const std::function<void(const PluginInstance&)>& instance,
                               const std::function<void(const MediaReference&)>& eachMedia) {
  if (!spool_) return true;
  if (spool_->failed()) return false;
  RecordReader in(*spool_);
  PluginInstance p;          // its track name and item are the context's
  std::string noTrackName, noItem;
  std::uint64_t track = 0;
  MediaReference m;
  auto text = [&](std::string& t) {
    if (!in.text(t)) return false;
    decode(t, ansi_);
    return true;
  };
  while (!in.atEnd()) {
    std::uint8_t tag, location, state, flags, instrument;
    std::uint64_t number;
    if (!in.byte(tag)) return false;
    if (tag == kContext) {
      if (!in.number(track) || !text(p.trackName) || !text(p.item)) return false;
    } else if (tag == kInstance) {
      if (!in.byte(location) || !in.byte(state) || !in.number(number) || !in.byte(flags)) return false;
      if (location > static_cast<std::uint8_t>(FxLocation::Take) || state > static_cast<std::uint8_t>(FxState::Frozen) ||
          number >= plugins.size())
        return false;
      const PluginInstance& first = plugins[static_cast<std::size_t>(number)].first;
      p.location = static_cast<FxLocation>(location);
      p.state = static_cast<FxState>(state);
      p.track = p.location == FxLocation::Master ? 0 : static_cast<std::int32_t>(track);
      p.format = first.format;
      p.status = first.status;
      p.file = first.file;
      p.id = first.id;
      p.auSubtype = first.auSubtype;
      p.auManufacturer = first.auManufacturer;
      if ((flags & kOwnLabel) != 0) {
        if (!text(p.display) || !text(p.name) || !text(p.vendor) || !in.byte(instrument)) return false;
        p.instrument = instrument != 0;
        if (p.format == FxFormat::Js) {  // named by its file, as its plug-in is
          p.name = first.name;
          p.vendor = first.vendor;
        }
      } else {
        p.display = first.display;
        p.name = first.name;
        p.vendor = first.vendor;
        p.instrument = first.instrument;
      }
      if (!text(p.container) || !text(p.preset)) return false;
      // The master has no track, only a take has an item: their texts step
      // aside (never copied, however long) while the instance is handed out.
      const bool master = p.location == FxLocation::Master, take = p.location == FxLocation::Take;
      if (master) p.trackName.swap(noTrackName);
      if (!take) p.item.swap(noItem);
      instance(p);
      if (master) p.trackName.swap(noTrackName);
      if (!take) p.item.swap(noItem);
    } else if (tag == kMedia) {
      if (!readMedia(in, m)) return false;
      eachMedia(m);
    } else {
      return false;
    }
  }
  return true;
}
