#include "core/project_inventory.h"

#include "core/project_header.h"
#include "runtime/codepage.h"
#include "runtime/utf8.h"

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

enum class Frame : std::uint8_t { Project, Track, Item, Source, Chain, Freeze };

struct FrameState {
  Frame kind;
  FxLocation location = FxLocation::Master;
  bool frozen = false;
  std::string container;          // the innermost container's name, for chains
  bool bypassSeen = false;        // a BYPASS line waits for its plug-in
  FxState pending = FxState::Online;
  std::int64_t lastInstance = -1; // the instance a PRESETNAME line belongs to
};

FrameState makeFrame(Frame kind, FxLocation location = FxLocation::Master, bool frozen = false, std::string container = {}) {
  FrameState f;
  f.kind = kind;
  f.location = location;
  f.frozen = frozen;
  f.container = std::move(container);
  return f;
}

class Parser {
 public:
  explicit Parser(ProjectInventory& out) : out_(out) {}

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
      if (!frames_.empty()) frames_.pop_back();
    } else if (!frames_.empty()) {
      content(line, c);
    }
    return skip_;
  }

 private:
  void ignore() { skip_ = true; }

  void open(std::string_view line) {
    if (frames_.empty()) return ignore();
    FrameState& top = frames_.back();
    switch (top.kind) {
      case Frame::Project:
        if (firstWordIs(line, "<TRACK")) {
          ++out_.tracks;
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
      chain.lastInstance = -1;
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
    PluginInstance p;
    p.location = chain.location;
    if (chain.location != FxLocation::Master) {
      p.track = out_.tracks;
      p.trackName = trackName_;
    }
    if (chain.location == FxLocation::Take) p.item = item_;
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
    chain.lastInstance = static_cast<std::int64_t>(out_.plugins.size());
    out_.plugins.push_back(std::move(p));
  }

  void content(std::string_view line, char c) {
    FrameState& top = frames_.back();
    switch (top.kind) {
      case Frame::Track:
        if (c == 'N' && !trackNamed_ && firstWordIs(line, "NAME")) {
          trackName_ = std::string(secondToken(line));
          trackNamed_ = true;
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
          frames_.pop_back();
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
          top.lastInstance = -1;
        } else if (c == 'P' && top.lastInstance >= 0 && firstWordIs(line, "PRESETNAME")) {
          out_.plugins[static_cast<std::size_t>(top.lastInstance)].preset = std::string(secondToken(line));
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
    if (file.empty()) return;
    auto [it, added] = mediaIndex_.try_emplace(std::string(file), out_.media.size());
    if (added) out_.media.push_back({std::string(file), {}, false, 0});
    ++out_.media[it->second].uses;
  }

  ProjectInventory& out_;
  std::vector<FrameState> frames_;
  bool skip_ = false;
  std::string trackName_;
  bool trackNamed_ = false;
  std::string takeName_;
  std::string item_;
  std::unordered_map<std::string, std::size_t> mediaIndex_;
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

ProjectInventory readProjectInventory(BlockReader& reader) {
  ProjectInventory out;
  Parser parser(out);
  std::string_view line;
  if (!reader.next(line) || !parser.header(line)) return out;
  while (reader.next(line)) {
    if (parser.line(line) && !reader.skipBlock()) break;
  }
  const bool ansi = reader.textIsAnsi();
  decode(out.reaperVersion, ansi);
  decode(out.reaperPlatform, ansi);
  for (PluginInstance& p : out.plugins) {
    for (std::string* s : {&p.trackName, &p.item, &p.container, &p.display, &p.name, &p.vendor, &p.file, &p.id, &p.preset})
      decode(*s, ansi);
  }
  for (MediaReference& m : out.media) decode(m.file, ansi);
  return out;
}
