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

// A key=value line split at the first "="; false for a line without one.
bool splitEntry(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = line.substr(0, eq);
  value = line.substr(eq + 1);
  return true;
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

constexpr std::size_t kLongestLine = std::size_t{1} << 20;

std::string withReason(std::string_view what, std::int64_t error) {
  return std::string(what) + " (" + TextToUtf8(OsErrorText(error)) + ")";
}

// Hands each line of an open file (ended by CR, LF or both; empty lines left
// out) to `visit`, reading 64 KiB at a time. "" when every byte was read and
// is text; else the problem, and what was visited before it stands.
template <typename Visit>
std::string forEachFileLine(OsHandle file, Visit&& visit) {
  std::string chunk(std::size_t{1} << 16, '\0');
  std::string line;
  for (;;) {
    OsSetLastError(0);
    const std::int64_t got = OsRead(file, chunk.data(), static_cast<std::int64_t>(chunk.size()));
    if (got < static_cast<std::int64_t>(chunk.size()) && OsLastError() != 0)
      return withReason("cannot be read", OsLastError());
    const auto size = static_cast<std::size_t>(got);
    std::size_t i = 0;
    while (i < size) {
      // A run of ordinary bytes, then the one that ends it.
      std::size_t j = i;
      while (j < size && (static_cast<unsigned char>(chunk[j]) >= 0x20 || chunk[j] == '\t')) ++j;
      if (line.size() + (j - i) > kLongestLine) return "not a plug-in cache (a line is longer than 1 MiB)";
      line.append(chunk, i, j - i);
      if (j == size) break;
      const char c = chunk[j];
      if (c != '\n' && c != '\r')
        return c == 0 ? "not a text file (it holds a NUL byte)" : "not a text file (it holds control characters)";
      if (!line.empty()) visit(std::string_view(line));
      line.clear();
      i = j + 1;
    }
    if (got < static_cast<std::int64_t>(chunk.size())) break;
  }
  if (!line.empty()) visit(std::string_view(line));
  return {};
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

std::string vstBaseName(std::string_view file) {
  std::string key = vstCacheKey(file);
  auto cut = [&](std::string_view suffix) {
    if (key.size() <= suffix.size() || key.compare(key.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
    key.resize(key.size() - suffix.size());
    return true;
  };
  for (std::string_view extension : {".dll", ".vst.dylib", ".vst.so", ".dylib", ".so", ".vst"})
    if (cut(extension)) break;
  for (std::string_view build : {"_(64_bit)", "_(32_bit)", "_(x64)", "_(x86)", "_x64", "_x86_64", "_64"})
    if (cut(build)) break;
  return key;
}

namespace {

// "Vendor: Name", as AU identifiers are, split.
void splitAuIdentifier(std::string_view identifier, std::string_view& name, std::string_view& vendor) {
  const std::size_t colon = identifier.find(':');
  vendor = colon == std::string_view::npos ? std::string_view() : identifier.substr(0, colon);
  name = colon == std::string_view::npos ? identifier : identifier.substr(colon + 1);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!vendor.empty() && vendor.back() == ' ') vendor.remove_suffix(1);
}

std::string nameKey(std::string_view name, std::string_view vendor) {
  return lowerAscii(name) + '\0' + lowerAscii(vendor);
}

}  // namespace

void PluginCaches::addName(std::string_view name, std::string_view vendor, FxFormat format, std::string_view file) {
  if (name.empty()) return;
  std::vector<InstalledPlugin>& where = byName_[nameKey(name, vendor)];
  InstalledPlugin plugin{format, std::string(file)};
  if (std::find(where.begin(), where.end(), plugin) == where.end()) where.push_back(std::move(plugin));
}

bool PluginCaches::addLine(Kind kind, LineState& state, std::string_view line) {
  if (line.empty()) return false;
  const bool ini = kind != Kind::AuComponents && kind != Kind::Jsfx;
  if (ini && line.front() == '[' && line.back() == ']') {
    state.section.assign(line.substr(1, line.size() - 2));
    return false;
  }
  const std::string_view section = state.section;
  std::string_view key, value;
  switch (kind) {
    case Kind::Vst: {
      if (!splitEntry(line, key, value) || (!section.empty() && section != "vstcache")) return false;
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
      const std::string_view binary = key.substr(0, child);
      // Its name as REAPER lists it: "ReaEQ (Cockos)", "Diva (u-he)!!!VSTi".
      if (const std::size_t mark = name.find("!!!"); mark != std::string_view::npos) name = name.substr(0, mark);
      if (name != "<SHELL>") {
        std::string plain, vendor;
        bool instrument = false;
        splitPluginLabel(name, plain, vendor, instrument);
        addName(plain, vendor, iEndsWith(binary, ".vst3") ? FxFormat::Vst3 : FxFormat::Vst2, binary);
      }
      if (child != std::string_view::npos) {
        vstShellChildren_.insert(vstCacheKey(binary) + "<" + std::string(idNumber(key.substr(child + 1))));
        if (!id.empty() && id != "0") vstIds_.insert(std::string(id));
        return true;
      }
      VstEntry entry = id.empty() ? VstEntry::ScannedOnly : name == "<SHELL>" ? VstEntry::Shell : VstEntry::Plugin;
      auto [it, added] = vstFiles_.try_emplace(vstCacheKey(key), VstFile{entry, std::string(id)});
      if (!added && entry == VstEntry::Plugin) it->second = {entry, std::string(id)};  // another cache found a plug-in in it
      auto [base, newBase] = vstBaseNames_.try_emplace(vstBaseName(key), entry);
      if (!newBase && entry == VstEntry::Plugin) base->second = entry;
      if (entry == VstEntry::Plugin && id != "0") vstIds_.insert(std::string(id));
      return true;
    }
    case Kind::VstShells: {
      if (!splitEntry(line, key, value) || section.empty() || key.substr(0, 2) != "pl") return false;
      const std::string_view id = idNumber(value);
      if (id.empty() || id == "0") return false;
      vstShellChildren_.insert(vstCacheKey(section) + "<" + std::string(id));
      return true;
    }
    case Kind::Clap: {
      if (!splitEntry(line, key, value) || section.empty() || key == "_") return false;
      clapIds_.insert(std::string(key));
      if (const std::size_t bar = value.find('|'); bar != std::string_view::npos) {
        std::string plain, vendor;
        bool instrument = false;
        splitPluginLabel(value.substr(bar + 1), plain, vendor, instrument);
        addName(plain, vendor, FxFormat::Clap, section);
      }
      return true;
    }
    case Kind::Au: {
      if (!splitEntry(line, key, value) || section != "auplugins") return false;
      auNames_.insert(auKey(key));
      std::string_view name, vendor;
      splitAuIdentifier(key, name, vendor);
      addName(name, vendor, FxFormat::Au, {});
      return true;
    }
    case Kind::AuComponents: {
      std::string_view tokens[8];
      int count = 0;
      forEachToken(line, [&](std::string_view t) {
        tokens[count++] = t;
        return count < 8;
      });
      if (count < 2 || tokens[0] != "AU") return false;
      auNames_.insert(auKey(tokens[1]));
      std::string_view name, vendor;
      splitAuIdentifier(tokens[1], name, vendor);
      addName(name, vendor, FxFormat::Au, {});
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
      return true;
    }
    case Kind::Jsfx: {
      if (line.substr(0, 5) != "NAME ") return false;
      std::string_view path, description;
      int index = 0;
      forEachToken(line, [&](std::string_view t) {
        if (index == 1) path = t;
        if (index == 2) description = t;
        return ++index < 3;
      });
      if (path.empty()) return false;
      std::string text(description);
      if (!IsWellFormedUtf8(text)) {
        std::u16string decoded;
        AppendUtf8Decoded(text, decoded);
        text.clear();
        AppendUtf8Encoded(decoded, text);
      }
      jsPaths_.try_emplace(jsKey(path), std::move(text));
      return true;
    }
  }
  return false;
}

void PluginCaches::have(Kind kind) {
  switch (kind) {
    case Kind::Vst: haveVst_ = true; break;
    case Kind::VstShells: break;  // children of shells; the plug-in cache itself says whether VST was scanned
    case Kind::Clap: haveClap_ = true; break;
    case Kind::Au:
    case Kind::AuComponents: haveAu_ = true; break;
    case Kind::Jsfx: haveJs_ = true; break;
  }
}

void PluginCaches::broken(Kind kind) {
  switch (kind) {
    case Kind::Vst:
    case Kind::VstShells: brokenVst_ = true; break;
    case Kind::Clap: brokenClap_ = true; break;
    case Kind::Au:
    case Kind::AuComponents: brokenAu_ = true; break;
    case Kind::Jsfx: brokenJs_ = true; break;
  }
}

std::uint64_t PluginCaches::addText(Kind kind, std::string_view text) {
  have(kind);
  LineState state;
  std::uint64_t entries = 0;
  forEachLine(text, [&](std::string_view line) { entries += addLine(kind, state, line); });
  return entries;
}

void PluginCaches::addVstCache(std::string_view text) { addText(Kind::Vst, text); }
void PluginCaches::addVstShells(std::string_view text) { addText(Kind::VstShells, text); }
void PluginCaches::addClapCache(std::string_view text) { addText(Kind::Clap, text); }
void PluginCaches::addAuCache(std::string_view text) { addText(Kind::Au, text); }
void PluginCaches::addAuComponents(std::string_view text) { addText(Kind::AuComponents, text); }
void PluginCaches::addJsfxCache(std::string_view text) { addText(Kind::Jsfx, text); }

void PluginCaches::setEffectsFolder(TextView folder) {
  haveJs_ = true;
  effectsFolder_ = Text(folder);
}

bool PluginCaches::loadFolder(TextView folder) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, entries)) return false;
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  Text base(folder);
  if (!base.empty() && base.back() != u'/' && base.back() != u'\\') base.push_back(FolderSeparator());
  for (const FolderEntry& entry : entries) {
    const std::string name = lowerAscii(TextToUtf8(entry.name));
    if (entry.kind == PathKind::Folder && name == "effects") {
      setEffectsFolder(base + entry.name);
      continue;
    }
    if (!iEndsWith(name, ".ini") || name.substr(0, 7) != "reaper-") continue;
    Kind kind;
    if (name.substr(0, 17) == "reaper-vstplugins") kind = Kind::Vst;
    else if (name.substr(0, 16) == "reaper-vstshells") kind = Kind::VstShells;
    else if (name.substr(0, 12) == "reaper-clap-") kind = Kind::Clap;
    else if (name.substr(0, 16) == "reaper-auplugins") kind = iEndsWith(name, "-bc.ini") ? Kind::AuComponents : Kind::Au;
    else if (name == "reaper-jsfx.ini") kind = Kind::Jsfx;
    else continue;
    CacheFile& cache = files_.emplace_back();
    cache.path = base + entry.name;
    // Looked at before it is opened: a pipe or a device there is never opened.
    if (entry.kind == PathKind::Folder) cache.problem = "is a folder";
    else if (entry.kind == PathKind::Other) cache.problem = TextToUtf8(OwnErrorText(kErrorNotRegularFile));
    else if (entry.kind == PathKind::Missing)
      cache.problem = entry.error != 0 ? withReason("cannot be opened", entry.error) : "the link points nowhere";
    const OsHandle file = cache.problem.empty() ? OsOpenShared(cache.path) : kInvalidHandle;
    if (cache.problem.empty() && file == kInvalidHandle) {
      cache.problem = OsLastError() == kErrorNotRegularFile ? TextToUtf8(OwnErrorText(kErrorNotRegularFile))
                                                            : withReason("cannot be opened", OsLastError());
    }
    if (file != kInvalidHandle) {
      cache.identity = OsHandleIdentity(file);
      // Checked whole before a line is taken: a file that is not a cache
      // (binary, cut, endless lines) must not make anything "installed".
      cache.problem = forEachFileLine(file, [](std::string_view) {});
      if (cache.problem.empty()) {
        if (OsSeek(file, 0, SeekFrom::Begin) != 0) {
          cache.problem = withReason("cannot be read", OsLastError());
        } else {
          LineState state;
          have(kind);
          cache.problem =
              forEachFileLine(file, [&](std::string_view line) { cache.entries += addLine(kind, state, line); });
        }
      }
      OsClose(file);
    }
    if (!cache.problem.empty()) broken(kind);
  }
  return true;
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
  // Not found is "missing" only when every cache of the format could be used.
  auto found = [](bool yes, bool broken) {
    return yes ? InstallStatus::Installed : broken ? InstallStatus::Unknown : InstallStatus::Missing;
  };
  switch (p.format) {
    case FxFormat::Vst2:
    case FxFormat::Vst3: {
      if (!haveVst_) return InstallStatus::Unknown;
      const std::string key = vstCacheKey(p.file);
      const std::string id(idNumber(p.id));
      if (!id.empty() && vstShellChildren_.count(key + "<" + id) != 0) return InstallStatus::Installed;
      const auto file = vstFiles_.find(key);
      if (file != vstFiles_.end() && file->second.entry == VstEntry::Plugin) return InstallStatus::Installed;
      if (id.empty() || id == "0") {
        // No id to go by: the same binary built for another system will do.
        const auto base = vstBaseNames_.find(vstBaseName(p.file));
        return found(base != vstBaseNames_.end() && base->second == VstEntry::Plugin, brokenVst_);
      }
      return found(vstIds_.count(id) != 0, brokenVst_);
    }
    case FxFormat::Clap:
      if (!haveClap_) return InstallStatus::Unknown;
      return found(clapIds_.count(p.id) != 0, brokenClap_);
    case FxFormat::Au:
      if (!haveAu_) return InstallStatus::Unknown;
      return found(auNames_.count(auKey(p.id)) != 0 ||
                       (p.auSubtype != 0 && p.auManufacturer != 0 &&
                        auCodes_.count(std::uint64_t{p.auSubtype} << 32 | p.auManufacturer) != 0),
                   brokenAu_);
    case FxFormat::Js:
      if (!haveJs_) return InstallStatus::Unknown;
      return found(jsInstalled(p.file), brokenJs_);
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

std::vector<InstalledPlugin> PluginCaches::installedAs(std::string_view name, std::string_view vendor,
                                                       FxFormat except) const {
  std::vector<InstalledPlugin> out;
  const auto it = byName_.find(nameKey(name, vendor));
  if (it == byName_.end()) return out;
  for (const InstalledPlugin& p : it->second)
    if (p.format != except) out.push_back(p);
  std::sort(out.begin(), out.end(), [](const InstalledPlugin& a, const InstalledPlugin& b) {
    return a.format != b.format ? a.format < b.format : a.file < b.file;
  });
  return out;
}

std::string PluginCaches::idWarning(FxFormat format, const std::vector<std::string>& files,
                                    const std::vector<std::string>& ids) const {
  if (format != FxFormat::Vst2) return {};
  for (const std::string& f : files) {
    const auto file = vstFiles_.find(vstCacheKey(f));
    if (file == vstFiles_.end() || file->second.entry != VstEntry::Plugin) continue;
    const std::string& installed = file->second.id;
    if (installed.empty() || installed == "0") continue;
    std::string_view differing;
    bool same = false;
    for (const std::string& id : ids) {
      const std::string_view number = idNumber(id);
      if (number.empty() || number == "0") continue;
      same = same || number == installed;
      if (differing.empty()) differing = number;
    }
    if (!same && !differing.empty())
      return "unique id differs from the installed one (" + std::string(differing) + " vs " + installed + ")";
  }
  return {};
}
