// Feeds arbitrary bytes through the inventory's streaming block reader, in
// chunks and pieces whose sizes the input chooses, and compares its lines,
// decoded as the reader says, with the plain reference reading of a Load
// (leading blanks dropped on both sides). Then reads the bytes as a project
// and writes its inventory in the three formats. Any difference, crash or
// sanitizer report aborts.
#include "../tests/hostile/reference_reader.h"

#include "core/archive_totals.h"
#include "core/block_reader.h"
#include "core/project_inventory.h"
#include "report/inventory_output.h"
#include "runtime/codepage.h"
#include "runtime/utf8.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

class PieceSource : public ByteSource {
 public:
  PieceSource(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  std::int64_t read(void* destination, std::int64_t count) override {
    const std::size_t n = std::min({static_cast<std::size_t>(count), bytes_.size() - at_, piece_});
    std::memcpy(destination, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<std::int64_t>(n);
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
  std::size_t piece_;
};

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "mismatch: %s\n", what);
    std::abort();
  }
}

Text WithoutBlanks(Text line) {
  std::size_t n = 0;
  while (n < line.size() && (line[n] == u' ' || line[n] == u'\t')) ++n;
  line.erase(0, n);
  // The reader hands UTF-16 out as UTF-8: an unpaired surrogate is U+FFFD.
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF) ++i;
    else if (c >= 0xD800 && c <= 0xDFFF) line[i] = 0xFFFD;
  }
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t chunk = 16 + data[0] % 64;
  const std::size_t piece = 1 + data[1] % 97;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  PieceSource source(bytes, piece);
  BlockReader reader(source, chunk);
  std::vector<std::string> raw;
  std::string_view line;
  while (reader.next(line)) raw.emplace_back(line);
  const bool ansi = reader.textIsAnsi();

  // With a UTF-8 mark and malformed bytes after it the Load takes bytes into
  // sequences past line ends; the inventory does not, so only the rest is compared.
  const bool utf8Mark = bytes.substr(0, 3) == "\xEF\xBB\xBF";
  if (!(utf8Mark && !IsWellFormedUtf8(bytes.substr(3)))) {
    const std::vector<Text> expected = ReferenceLoadLines(bytes);
    Require(raw.size() == expected.size(), "line count");
    for (std::size_t i = 0; i < raw.size(); ++i) {
      Text got;
      if (ansi) DecodeAnsi(raw[i], got);
      else AppendUtf8Decoded(raw[i], got);
      // A NUL decoded from a sequence ends a Load's line; the reader's lines hold none.
      Require(WithoutBlanks(got) == WithoutBlanks(expected[i]), "line text");
    }
  }

  // Skipping blocks lands where counting their lines one by one does: every
  // block whose opening line's index the input marks is skipped.
  {
    PieceSource source3(bytes, piece);
    BlockReader skipping(source3, chunk);
    std::size_t i = 0;
    const std::uint8_t pattern = data[0] ^ data[1];
    while (skipping.next(line)) {
      Require(i < raw.size() && line == raw[i], "line after a skip");
      ++i;
      if (line.empty() || line[0] != '<' || ((pattern >> (i % 8)) & 1) == 0) continue;
      int depth = 1;
      while (depth > 0 && i < raw.size()) {
        const std::string& l = raw[i++];
        if (!l.empty() && l[0] == '<') ++depth;
        else if (!l.empty() && l[0] == '>') --depth;
      }
      Require(skipping.skipBlock() == (depth == 0), "skip reaches the closing line");
      if (depth > 0) break;
    }
    Require(i == raw.size(), "no line lost by skipping");
    Require(skipping.textIsAnsi() == ansi, "the same encoding when skipping");
  }

  PieceSource again(bytes, piece);
  BlockReader second(again, chunk);
  ProjectInventory project = readProjectInventory(second);
  std::uint64_t instances = 0, media = 0;
  Require(project.forEach(
              [&](const PluginInstance& p) {
                ++instances;
                Require(p.track >= 0 && p.track <= project.tracks, "track number");
                Require((p.location == FxLocation::Master) == (p.track == 0), "master has no track");
                Require(IsWellFormedUtf8(p.display) && IsWellFormedUtf8(p.name) && IsWellFormedUtf8(p.trackName),
                        "UTF-8 texts");
              },
              [&](const MediaReference& m) {
                ++media;
                Require(IsWellFormedUtf8(m.file), "UTF-8 media file");
              }),
          "set aside and read back");
  Require(instances == project.instances && media == project.media, "every instance and media file read back");
  if (project.isProject) {
    ArchiveTotals totals;
    totals.addProject(project);
    totals.finish();
    for (InventoryFormat format : {InventoryFormat::Html, InventoryFormat::Json, InventoryFormat::Csv}) {
      std::string out;
      SinkOf sink([&](std::string_view s) {
        out += s;
        return true;
      });
      const std::unique_ptr<InventoryWriter> writer = makeInventoryWriter(format, std::nullopt, sink);
      Require(writer->open(u"") && writer->addProject({"/fuzz/p.rpp", project}) && writer->finish(totals), "written");
      Require(IsWellFormedUtf8(out), "output is UTF-8");
    }
  }
  return 0;
}
