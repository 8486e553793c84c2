#include "report/inventory_output.h"

namespace {

// A JSON string: quotes, backslashes and controls escaped, a lone surrogate
// (kept by pathText) as its \u escape, everything else as UTF-8.
void String(SinkWriter& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string& escaped = out.buffer();
  escaped.push_back('"');
  std::size_t run = 0;  // the start of bytes that need no escape
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\' && c != 0x7F && c != 0xED) continue;
    escaped.append(s, run, i - run);
    run = i + 1;
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

void Field(SinkWriter& out, std::string_view name, std::string_view value) {
  String(out, name);
  out << ": ";
  String(out, value);
}

void OptionalField(SinkWriter& out, std::string_view name, std::string_view value, bool present) {
  String(out, name);
  out << ": ";
  if (present) String(out, value);
  else out << "null";
}

void Number(SinkWriter& out, std::string_view name, std::uint64_t value) {
  String(out, name);
  out << ": " << value;
}

void Bool(SinkWriter& out, std::string_view name, bool value) {
  String(out, name);
  out << ": " << (value ? "true" : "false");
}

void Instance(SinkWriter& out, const ArchiveInventory& inv, const ArchiveInventory::Instance& i) {
  out << "{";
  Field(out, "location", locationWord(i.location));
  out << ", \"track\": ";
  if (i.location == FxLocation::Master) out << "null";
  else out << static_cast<std::uint64_t>(i.track);
  out << ", ";
  Field(out, "track_name", inv.text(i.trackName));
  out << ", ";
  OptionalField(out, "item", inv.text(i.item), i.location == FxLocation::Take);
  out << ", ";
  OptionalField(out, "container", inv.text(i.container), !inv.text(i.container).empty());
  out << ", ";
  Field(out, "format", formatWord(i.format));
  out << ", ";
  Bool(out, "instrument", i.instrument);
  out << ", ";
  Field(out, "display", inv.text(i.display));
  out << ", ";
  Field(out, "name", inv.text(i.name));
  out << ", ";
  Field(out, "vendor", inv.text(i.vendor));
  out << ", ";
  Field(out, "file", inv.text(i.file));
  out << ", ";
  Field(out, "id", inv.text(i.id));
  out << ", ";
  Field(out, "state", stateWord(i.state));
  out << ", ";
  Field(out, "preset", inv.text(i.preset));
  out << ", ";
  Field(out, "status", statusWord(i.status));
  out << "}";
}

}  // namespace

bool writeInventoryJson(const ArchiveInventory& inv, const std::optional<std::string>& resources,
                        const ByteSink& sink) {
  SinkWriter out(sink);
  out << "{\n  ";
  OptionalField(out, "resources", resources ? *resources : std::string_view(), resources.has_value());
  out << ",\n  \"summary\": {";
  Number(out, "projects", inv.projects().size());
  out << ", ";
  Number(out, "plugins", inv.plugins().size());
  out << ", ";
  Number(out, "instances", inv.instanceCount());
  out << ", ";
  Number(out, "missing_plugins", inv.missingPlugins());
  out << ", ";
  Number(out, "missing_media", inv.missingMedia());
  out << ", ";
  Number(out, "errors", inv.errors().size());
  out << "},\n  \"projects\": [";
  bool firstProject = true;
  for (const ArchiveInventory::Project& p : inv.projects()) {
    out << (firstProject ? "\n    {" : ",\n    {");
    firstProject = false;
    Field(out, "path", inv.text(p.path));
    out << ", ";
    Field(out, "reaper_version", inv.text(p.version));
    out << ", ";
    Field(out, "reaper_platform", inv.text(p.platform));
    out << ", ";
    Number(out, "tracks", static_cast<std::uint64_t>(p.tracks));
    out << ", ";
    Number(out, "missing_plugins", p.missingPlugins);
    out << ", ";
    Number(out, "missing_media", p.missingMedia);
    out << ",\n     \"plugins\": [";
    bool first = true;
    for (const ArchiveInventory::Instance& i : inv.instances(p)) {
      out << (first ? "\n      " : ",\n      ");
      first = false;
      Instance(out, inv, i);
    }
    out << (first ? "],\n     \"media\": [" : "\n     ],\n     \"media\": [");
    first = true;
    for (const ArchiveInventory::Media& m : inv.media(p)) {
      out << (first ? "\n      {" : ",\n      {");
      first = false;
      Field(out, "file", inv.text(m.file));
      out << ", ";
      Field(out, "resolved", inv.resolved(p, m));
      out << ", ";
      Bool(out, "exists", m.exists);
      out << ", ";
      Number(out, "uses", m.uses);
      out << "}";
    }
    out << (first ? "]}" : "\n     ]}");
  }
  out << (firstProject ? "],\n  \"plugins\": [" : "\n  ],\n  \"plugins\": [");
  bool first = true;
  for (const ArchivePlugin& p : inv.plugins()) {
    out << (first ? "\n    {" : ",\n    {");
    first = false;
    Field(out, "format", formatWord(p.format));
    out << ", ";
    Field(out, "name", p.name);
    out << ", ";
    Field(out, "vendor", p.vendor);
    out << ", ";
    Bool(out, "instrument", p.instrument);
    out << ", ";
    Field(out, "display", p.display);
    out << ", ";
    Field(out, "file", p.file);
    out << ", ";
    Field(out, "id", p.id);
    out << ", ";
    Field(out, "status", statusWord(p.status));
    out << ", ";
    Number(out, "projects", p.projects);
    out << ", ";
    Number(out, "instances", p.instances);
    out << "}";
  }
  out << (first ? "],\n  \"errors\": [" : "\n  ],\n  \"errors\": [");
  first = true;
  for (const ArchiveInventory::Error& e : inv.errors()) {
    out << (first ? "\n    {" : ",\n    {");
    first = false;
    Field(out, "path", e.path);
    out << ", ";
    Field(out, "message", e.message);
    out << "}";
  }
  out << (first ? "]\n}\n" : "\n  ]\n}\n");
  return out.flush();
}
