#include "report/inventory_output.h"

#include "core/media_paths.h"

namespace {

// A JSON string: quotes, backslashes and controls escaped, a lone surrogate
// (kept by PathText) as its \u escape, everything else as UTF-8. A long
// string goes out in pieces, never copied whole.
void jsonString(BufferedWriter& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  constexpr std::size_t kPiece = std::size_t{1} << 16;
  std::string& escaped = out.buffer();
  escaped.push_back('"');
  std::size_t run = 0;  // the start of bytes that need no escape
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\' && c != 0x7F && c != 0xED) {
      if (i - run >= kPiece) {
        escaped.append(s, run, i - run);
        run = i;
        out.flushIfFull();
      }
      continue;
    }
    escaped.append(s, run, i - run);
    run = i + 1;
    out.flushIfFull();
    switch (c) {
      case '"': escaped += "\\\""; continue;
      case '\\': escaped += "\\\\"; continue;
      case '\n': escaped += "\\n"; continue;
      case '\r': escaped += "\\r"; continue;
      case '\t': escaped += "\\t"; continue;
      default: break;
    }
    if (c == 0xED && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0xA0) {
      // A lone surrogate kept from a file name: its \u escape.
      const unsigned unit = 0xD000 | ((static_cast<unsigned char>(s[i + 1]) & 0x3F) << 6) |
                            (static_cast<unsigned char>(s[i + 2]) & 0x3F);
      escaped += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) escaped.push_back(kHex[(unit >> shift) & 15]);
      i += 2;
      run = i + 1;
    } else if (c == 0xED) {
      escaped.push_back(static_cast<char>(c));
    } else {
      escaped += "\\u00";
      escaped.push_back(kHex[c >> 4]);
      escaped.push_back(kHex[c & 15]);
    }
  }
  escaped.append(s, run, s.size() - run);
  escaped.push_back('"');
  out.flushIfFull();
}

void textField(BufferedWriter& out, std::string_view name, std::string_view value) {
  jsonString(out, name);
  out << ": ";
  jsonString(out, value);
}

void optionalField(BufferedWriter& out, std::string_view name, std::string_view value, bool present) {
  jsonString(out, name);
  out << ": ";
  if (present) jsonString(out, value);
  else out << "null";
}

void numberField(BufferedWriter& out, std::string_view name, std::uint64_t value) {
  jsonString(out, name);
  out << ": " << value;
}

void boolField(BufferedWriter& out, std::string_view name, bool value) {
  jsonString(out, name);
  out << ": " << (value ? "true" : "false");
}

void instance(BufferedWriter& out, const PluginInstance& i) {
  out << "{";
  textField(out, "location", locationWord(i.location));
  out << ", \"track\": ";
  if (i.location == FxLocation::Master) out << "null";
  else out << static_cast<std::uint64_t>(i.track);
  out << ", ";
  textField(out, "track_name", i.trackName);
  out << ", ";
  optionalField(out, "item", i.item, i.location == FxLocation::Take);
  out << ", ";
  optionalField(out, "container", i.container, !i.container.empty());
  out << ", ";
  textField(out, "format", formatWord(i.format));
  out << ", ";
  boolField(out, "instrument", i.instrument);
  out << ", ";
  textField(out, "display", i.display);
  out << ", ";
  textField(out, "name", i.name);
  out << ", ";
  textField(out, "vendor", i.vendor);
  out << ", ";
  textField(out, "file", i.file);
  out << ", ";
  textField(out, "id", i.id);
  out << ", ";
  textField(out, "state", stateWord(i.state));
  out << ", ";
  textField(out, "preset", i.preset);
  out << ", ";
  textField(out, "status", statusWord(i.status));
  out << "}";
}

// A plug-in's fields beyond its first instance's: every file and id seen,
// where a missing one is installed in another format, what the check
// noticed, and the projects that use it.
void pluginExtras(BufferedWriter& out, const ArchiveTotals& totals, std::size_t index) {
  const ArchivePlugin& p = totals.plugins()[index];
  auto strings = [&](std::string_view name, const std::vector<std::string>& values) {
    jsonString(out, name);
    out << ": [";
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (k > 0) out << ", ";
      jsonString(out, values[k]);
    }
    out << "]";
  };
  strings("files", p.files);
  out << ", ";
  strings("ids", p.ids);
  out << ", \"installed_as\": [";
  for (std::size_t k = 0; k < p.installedAs.size(); ++k) {
    out << (k > 0 ? ", {" : "{");
    textField(out, "format", formatWord(p.installedAs[k].format));
    out << ", ";
    textField(out, "file", p.installedAs[k].file);
    out << "}";
  }
  out << "], ";
  optionalField(out, "warning", p.warning, !p.warning.empty());
  out << ",\n     \"used_by\": [";
  bool first = true;
  for (const PluginUse& use : totals.usedBy(index)) {
    out << (first ? "\n      {" : ",\n      {");
    first = false;
    textField(out, "path", totals.projectPath(use.project));
    out << ", ";
    numberField(out, "instances", use.instances);
    out << ", \"tracks\": [";
    bool firstTrack = true;
    for (std::int32_t t : totals.tracksOf(use)) {
      out << (firstTrack ? "" : ", ") << static_cast<std::uint64_t>(t);
      firstTrack = false;
    }
    out << "]}";
  }
  out << (first ? "]" : "\n     ]");
}

// Whether the project opens here, and which of its missing plug-ins it
// needs to play.
void statusFields(BufferedWriter& out, const ProjectInventory& p) {
  textField(out, "status", projectStatusWord(p.status));
  out << ", ";
  numberField(out, "missing_plugins_to_play", p.missingToPlay);
  out << ", ";
  numberField(out, "missing_plugins_to_edit", p.missingToEdit);
}

void statusCounts(BufferedWriter& out, const ArchiveTotals& totals) {
  for (ProjectStatus s : {ProjectStatus::Complete, ProjectStatus::Plays, ProjectStatus::Incomplete, ProjectStatus::Unknown}) {
    out << ", ";
    numberField(out, "projects_" + std::string(projectStatusWord(s)), totals.projectsWith(s));
  }
}

// The project's backups, each with its status.
void backupsField(BufferedWriter& out, const std::vector<InventoryBackup>& backups) {
  out << ", \"backups\": [";
  for (std::size_t k = 0; k < backups.size(); ++k) {
    out << (k == 0 ? "{" : ", {");
    textField(out, "path", backups[k].path);
    out << ", ";
    textField(out, "status", projectStatusWord(backups[k].status));
    out << "}";
  }
  out << "]";
}

// "missing_media": every missing media file of the archive; false when the
// list could not be read back.
bool missingMediaList(BufferedWriter& out, const ArchiveTotals& totals) {
  out << "\n  \"missing_media\": [";
  bool first = true;
  const bool read = totals.forEachMissingMedia([&](const ArchiveTotals::MissingMedia& m) {
    out << (first ? "\n    {" : ",\n    {");
    first = false;
    textField(out, "file", m.file);
    out << ", \"projects\": [";
    for (std::size_t k = 0; k < m.projects.size(); ++k) {
      if (k > 0) out << ", ";
      jsonString(out, totals.projectPath(m.projects[k]));
    }
    out << "], ";
    optionalField(out, "found_by_name", m.foundByName, !m.foundByName.empty());
    out << "}";
    out.flushIfFull();
  });
  out << (first ? "]" : "\n  ]");
  return read;
}

// The "projects" array is set aside while the projects come, since the
// summary before it needs all of them.
class JsonWriter : public InventoryWriter {
 public:
  JsonWriter(std::optional<std::string> resources, ByteSink& sink, InventoryStamp stamp)
      : resources_(std::move(resources)), sink_(sink), stamp_(std::move(stamp)) {}

  bool open(TextView scratchFolder) override { return projects_.open(scratchFolder); }

  bool addProject(const InventoryProject& project) override {
    ProjectInventory& p = project.inventory;
    BufferedWriter& out = projects_.out();
    out << (firstProject_ ? "\n    {" : ",\n    {");
    firstProject_ = false;
    textField(out, "path", project.path);
    out << ", \"also_at\": [";
    for (std::size_t k = 0; k < project.alsoAt.size(); ++k) {
      if (k > 0) out << ", ";
      jsonString(out, project.alsoAt[k]);
    }
    out << "], ";
    textField(out, "reaper_version", p.reaperVersion);
    out << ", ";
    textField(out, "reaper_platform", p.reaperPlatform);
    out << ", ";
    numberField(out, "tracks", static_cast<std::uint64_t>(p.tracks));
    out << ", ";
    numberField(out, "missing_plugins", p.missingPlugins);
    out << ", ";
    numberField(out, "missing_media", p.missingMedia);
    out << ", ";
    statusFields(out, p);
    backupsField(out, project.backups);
    out << ",\n     \"plugins\": [";
    bool first = true, inMedia = false;
    auto openMedia = [&] {
      out << (first ? "],\n     \"media\": [" : "\n     ],\n     \"media\": [");
      first = true;
      inMedia = true;
    };
    const std::string_view folder = FolderOfPathText(project.path);
    const bool replayed = p.forEach(
        [&](const PluginInstance& i) {
          out << (first ? "\n      " : ",\n      ");
          first = false;
          instance(out, i);
        },
        [&](const MediaReference& m) {
          if (!inMedia) openMedia();
          out << (first ? "\n      {" : ",\n      {");
          first = false;
          textField(out, "file", m.file);
          out << ", ";
          textField(out, "resolved", resolvedMediaText(folder, m.file));
          out << ", ";
          boolField(out, "exists", m.exists);
          out << ", ";
          numberField(out, "uses", m.uses);
          out << ", ";
          optionalField(out, "found_by_name", m.foundByName, !m.foundByName.empty());
          out << "}";
        });
    if (!replayed) {
      setAsideFailure_ = p.failureReason();
      return false;
    }
    if (!inMedia) openMedia();
    out << (first ? "]}" : "\n     ]}");
    return !projects_.failed();
  }

  bool finish(const ArchiveTotals& totals) override;
  Text failureReason() const override {
    return projects_.failureReason().empty() ? setAsideFailure_ : projects_.failureReason();
  }

 private:
  std::optional<std::string> resources_;
  ByteSink& sink_;
  InventoryStamp stamp_;
  SetAside projects_;
  bool firstProject_ = true;
  Text setAsideFailure_;  // what was set aside (instances, missing media) could not be read back
};

bool JsonWriter::finish(const ArchiveTotals& totals) {
  // Nothing reaches the output unless every part set aside is complete: a
  // pipe cannot take back what it was given.
  if (!projects_.settle() || !setAsideFailure_.empty()) return false;
  if (!totals.failureReason().empty()) {
    setAsideFailure_ = totals.failureReason();
    return false;
  }
  BufferedWriter out(sink_);
  out << "{\n  ";
  textField(out, "generated", stamp_.generated);
  out << ",\n  ";
  textField(out, "version", stamp_.version);
  out << ",\n  ";
  optionalField(out, "resources", resources_ ? *resources_ : std::string_view(), resources_.has_value());
  out << ",\n  \"caches\": [";
  bool firstCache = true;
  for (const CacheFile& c : totals.caches()) {
    out << (firstCache ? "\n    {" : ",\n    {");
    firstCache = false;
    textField(out, "file", PathText(c.path));
    out << ", ";
    numberField(out, "entries", c.entries);
    out << ", ";
    optionalField(out, "problem", c.problem, !c.problem.empty());
    out << "}";
  }
  out << (firstCache ? "],\n  \"summary\": {" : "\n  ],\n  \"summary\": {");
  numberField(out, "projects", totals.projects());
  out << ", ";
  numberField(out, "plugins", totals.plugins().size());
  out << ", ";
  numberField(out, "instances", totals.instances());
  out << ", ";
  numberField(out, "missing_plugins", totals.missingPlugins());
  out << ", ";
  numberField(out, "unknown_plugins", totals.unknownPlugins());
  out << ", ";
  numberField(out, "missing_media", totals.missingMedia());
  out << ", ";
  numberField(out, "errors", totals.errors().size());
  statusCounts(out, totals);
  out << "},\n  \"projects\": [";
  if (!out.flush() || !projects_.copyTo(sink_)) return false;
  out << (firstProject_ ? "],\n  \"plugins\": [" : "\n  ],\n  \"plugins\": [");
  bool first = true;
  for (std::size_t index = 0; index < totals.plugins().size(); ++index) {
    const ArchivePlugin& p = totals.plugins()[index];
    out << (first ? "\n    {" : ",\n    {");
    first = false;
    textField(out, "format", formatWord(p.format));
    out << ", ";
    textField(out, "name", p.name);
    out << ", ";
    textField(out, "vendor", p.vendor);
    out << ", ";
    boolField(out, "instrument", p.instrument);
    out << ", ";
    textField(out, "display", p.display);
    out << ", ";
    textField(out, "file", p.file);
    out << ", ";
    textField(out, "id", p.id);
    out << ", ";
    textField(out, "status", statusWord(p.status));
    out << ", ";
    numberField(out, "projects", p.projects);
    out << ", ";
    numberField(out, "instances", p.instances);
    out << ",\n     ";
    pluginExtras(out, totals, index);
    out << "}";
  }
  out << (first ? "]," : "\n  ],");
  if (!missingMediaList(out, totals)) {
    setAsideFailure_ = totals.failureReason();
    return false;
  }
  out << ",\n  \"errors\": [";
  first = true;
  for (const ArchiveTotals::Error& e : totals.errors()) {
    out << (first ? "\n    {" : ",\n    {");
    first = false;
    textField(out, "path", e.path);
    out << ", ";
    textField(out, "message", e.message);
    out << "}";
  }
  out << (first ? "]\n}\n" : "\n  ]\n}\n");
  return out.flush();
}

}  // namespace

std::unique_ptr<InventoryWriter> makeInventoryJsonWriter(std::optional<std::string> resources, ByteSink& sink,
                                                         InventoryStamp stamp) {
  return std::make_unique<JsonWriter>(std::move(resources), sink, std::move(stamp));
}
