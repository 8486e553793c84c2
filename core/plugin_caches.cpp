#include "core/plugin_caches.h"

#include "runtime/file_tree.h"
#include "runtime/os_file.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"

#include <algorithm>

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

bool iEndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && lowerAscii(s.substr(s.size() - suffix.size())) == suffix;
}

// Each line of a text, without its CR or LF.
template <typename Visit>
void forEachLine(std::string_view text, Visit&& visit) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = text.find_first_of("\r\n", i);
    if (j == std::string_view::npos) j = text.size();
    visit(text.substr(i, j - i));
    i = j + 1;
  }
}

// [section] lines and key=value lines, split at the first "=".
template <typename Visit>
void forEachIniEntry(std::string_view text, Visit&& visit) {
  std::string_view section;
  forEachLine(text, [&](std::string_view line) {
    if (line.empty()) return;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      return;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    visit(section, line.substr(0, eq), line.substr(eq + 1));
  });
}

// A JS path as a key: "/" for "\", lower case, without ".jsfx".
std::string jsKey(std::string_view path) {
  std::string key = lowerAscii(path);
  std::replace(key.begin(), key.end(), '\\', '/');
  if (key.size() > 5 && key.compare(key.size() - 5, 5, ".jsfx") == 0) key.resize(key.size() - 5);
  return key;
}

// An AU identifier as a key: no space after a colon, lower case.
std::string auKey(std::string_view name) {
  std::string key;
  for (std::size_t i = 0; i < name.size(); ++i) {
    key.push_back(lower(name[i]));
    if (name[i] == ':')
      while (i + 1 < name.size() && name[i + 1] == ' ') ++i;
  }
  return key;
}

// The integer part of an id: "756089518{72C4...}" gives "756089518".
std::string_view idNumber(std::string_view id) { return id.substr(0, id.find_first_of("{<")); }

bool readWholeFile(TextView path, std::string& bytes) {
  const OsHandle file = OsOpenShared(path);
  if (file == 0) return false;
  const std::int64_t size = OsFileSize(file);
  bool ok = size >= 0 && size <= (std::int64_t{64} << 20);  // caches are small; a huge one is not a cache
  if (ok) {
    bytes.resize(static_cast<std::size_t>(size));
    ok = OsRead(file, bytes.data(), size) == size;
  }
  OsClose(file);
  return ok;
}

}  // namespace

std::string vstCacheKey(std::string_view file) {
  const std::size_t slash = file.find_last_of("/\\");
  if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
  std::string key = lowerAscii(file);
  std::replace(key.begin(), key.end(), ' ', '_');
  std::replace(key.begin(), key.end(), '-', '_');
  return key;
}

void PluginCaches::addVstCache(std::string_view text) {
  haveVst_ = true;
  forEachIniEntry(text, [&](std::string_view section, std::string_view key, std::string_view value) {
    if (!section.empty() && section != "vstcache") return;
    // TIMESTAMP[,ID[{GUID],NAME]
    const std::size_t comma = value.find(',');
    std::string_view id, name;
    if (comma != std::string_view::npos) {
      const std::string_view rest = value.substr(comma + 1);
      const std::size_t second = rest.find(',');
      id = idNumber(rest.substr(0, second));
      if (second != std::string_view::npos) name = rest.substr(second + 1);
    }
    const std::size_t child = key.find('<');
    if (child != std::string_view::npos) {
      vstShellChildren_.insert(vstCacheKey(key.substr(0, child)) + "<" + std::string(idNumber(key.substr(child + 1))));
      if (!id.empty() && id != "0") vstIds_.insert(std::string(id));
      return;
    }
    VstEntry entry = id.empty() ? VstEntry::ScannedOnly : name == "<SHELL>" ? VstEntry::Shell : VstEntry::Plugin;
    auto [it, added] = vstFiles_.try_emplace(vstCacheKey(key), entry);
    if (!added && entry == VstEntry::Plugin) it->second = entry;  // another cache found a plug-in in it
    if (entry == VstEntry::Plugin && id != "0") vstIds_.insert(std::string(id));
  });
}

void PluginCaches::addVstShells(std::string_view text) {
  forEachIniEntry(text, [&](std::string_view section, std::string_view key, std::string_view value) {
    if (section.empty() || key.substr(0, 2) != "pl") return;
    const std::string_view id = idNumber(value);
    if (id.empty() || id == "0") return;
    vstShellChildren_.insert(vstCacheKey(section) + "<" + std::string(id));
  });
}

void PluginCaches::addClapCache(std::string_view text) {
  haveClap_ = true;
  forEachIniEntry(text, [&](std::string_view section, std::string_view key, std::string_view) {
    if (!section.empty() && key != "_") clapIds_.insert(std::string(key));
  });
}

void PluginCaches::addAuCache(std::string_view text) {
  haveAu_ = true;
  forEachIniEntry(text, [&](std::string_view section, std::string_view key, std::string_view) {
    if (section == "auplugins") auNames_.insert(auKey(key));
  });
}

void PluginCaches::addAuComponents(std::string_view text) {
  haveAu_ = true;
  forEachLine(text, [&](std::string_view line) {
    std::string_view tokens[8];
    int count = 0;
    forEachToken(line, [&](std::string_view t) {
      tokens[count++] = t;
      return count < 8;
    });
    if (count < 2 || tokens[0] != "AU") return;
    auNames_.insert(auKey(tokens[1]));
    if (count == 8) {
      auto number = [](std::string_view s) {
        std::uint64_t v = 0;
        for (char c : s) {
          if (c < '0' || c > '9') return std::uint64_t{0};
          v = v * 10 + static_cast<unsigned>(c - '0');
          if (v > 0xFFFFFFFFu) return std::uint64_t{0};
        }
        return v;
      };
      const std::uint64_t subtype = number(tokens[6]), manufacturer = number(tokens[7]);
      if (subtype != 0 && manufacturer != 0) auCodes_.insert(subtype << 32 | manufacturer);
    }
  });
}

void PluginCaches::addJsfxCache(std::string_view text) {
  haveJs_ = true;
  forEachLine(text, [&](std::string_view line) {
    if (line.substr(0, 5) != "NAME ") return;
    std::string_view path, description;
    int index = 0;
    forEachToken(line, [&](std::string_view t) {
      if (index == 1) path = t;
      if (index == 2) description = t;
      return ++index < 3;
    });
    if (path.empty()) return;
    std::string text(description);
    if (!IsWellFormedUtf8(text)) {
      std::u16string decoded;
      AppendUtf8Decoded(text, decoded);
      text.clear();
      AppendUtf8Encoded(decoded, text);
    }
    jsPaths_.try_emplace(jsKey(path), std::move(text));
  });
}

void PluginCaches::setEffectsFolder(TextView folder) {
  haveJs_ = true;
  effectsFolder_ = Text(folder);
}

void PluginCaches::loadFolder(TextView folder) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, entries)) return;
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  Text base(folder);
  if (!base.empty() && base.back() != u'/' && base.back() != u'\\') base.push_back(u'/');
  for (const FolderEntry& entry : entries) {
    const std::string name = lowerAscii(TextToUtf8(entry.name));
    if (entry.kind == PathKind::Folder && name == "effects") {
      setEffectsFolder(base + entry.name);
      continue;
    }
    if (entry.kind != PathKind::File || !iEndsWith(name, ".ini") || name.substr(0, 7) != "reaper-") continue;
    void (PluginCaches::*add)(std::string_view) = nullptr;
    if (name.substr(0, 17) == "reaper-vstplugins") add = &PluginCaches::addVstCache;
    else if (name.substr(0, 16) == "reaper-vstshells") add = &PluginCaches::addVstShells;
    else if (name.substr(0, 12) == "reaper-clap-") add = &PluginCaches::addClapCache;
    else if (name.substr(0, 16) == "reaper-auplugins") add = iEndsWith(name, "-bc.ini") ? &PluginCaches::addAuComponents
                                                                                        : &PluginCaches::addAuCache;
    else if (name == "reaper-jsfx.ini") add = &PluginCaches::addJsfxCache;
    if (add == nullptr) continue;
    std::string bytes;
    if (!readWholeFile(base + entry.name, bytes)) continue;
    (this->*add)(bytes);
    filesRead_.push_back(TextToUtf8(entry.name));
  }
}

bool PluginCaches::jsInstalled(std::string_view path) const {
  if (jsPaths_.count(jsKey(path)) != 0) return true;
  if (effectsFolder_.empty() || path.empty()) return false;
  Text file = effectsFolder_ + u"/" + TextFromUtf8(path);
  if (FolderSeparator() != u'/') std::replace(file.begin(), file.end(), u'/', FolderSeparator());
  else std::replace(file.begin(), file.end(), u'\\', u'/');
  return PathKindOf(file) == PathKind::File || PathKindOf(file + u".jsfx") == PathKind::File;
}

InstallStatus PluginCaches::statusOf(const PluginInstance& p) const {
  auto found = [](bool yes) { return yes ? InstallStatus::Installed : InstallStatus::Missing; };
  switch (p.format) {
    case FxFormat::Vst2:
    case FxFormat::Vst3: {
      if (!haveVst_) return InstallStatus::Unknown;
      const std::string key = vstCacheKey(p.file);
      const std::string id(idNumber(p.id));
      if (!id.empty() && vstShellChildren_.count(key + "<" + id) != 0) return InstallStatus::Installed;
      const auto file = vstFiles_.find(key);
      if (file != vstFiles_.end() && file->second == VstEntry::Plugin) return InstallStatus::Installed;
      return found(!id.empty() && id != "0" && vstIds_.count(id) != 0);
    }
    case FxFormat::Clap:
      if (!haveClap_) return InstallStatus::Unknown;
      return found(clapIds_.count(p.id) != 0);
    case FxFormat::Au:
      if (!haveAu_) return InstallStatus::Unknown;
      return found(auNames_.count(auKey(p.id)) != 0 ||
                   (p.auSubtype != 0 && p.auManufacturer != 0 &&
                    auCodes_.count(std::uint64_t{p.auSubtype} << 32 | p.auManufacturer) != 0));
    case FxFormat::Js:
      if (!haveJs_) return InstallStatus::Unknown;
      return found(jsInstalled(p.file));
    default:
      return InstallStatus::Unknown;
  }
}

void PluginCaches::describeJs(PluginInstance& p) const {
  if (p.format != FxFormat::Js) return;
  const auto it = jsPaths_.find(jsKey(p.file));
  if (it == jsPaths_.end() || it->second.empty()) return;
  std::string_view description = it->second;
  // "JS: FXRack 1.01 [FXRack/(Split)RackSplitter]": the path suffix goes.
  if (!description.empty() && description.back() == ']') {
    const std::size_t open = description.rfind(" [");
    if (open != std::string_view::npos) description = description.substr(0, open);
  }
  bool instrument = false;
  splitPluginLabel(description, p.name, p.vendor, instrument);
}
