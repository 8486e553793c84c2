#include "core/archive_inventory.h"
#include "core/block_reader.h"
#include "core/plugin_caches.h"
#include "core/project_inventory.h"
#include "report/inventory_output.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace {

class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string bytes, std::size_t piece = SIZE_MAX) : bytes_(std::move(bytes)), piece_(piece) {}
  std::int64_t read(void* destination, std::int64_t count) override {
    const std::size_t n = std::min({static_cast<std::size_t>(count), bytes_.size() - at_, piece_});
    std::memcpy(destination, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<std::int64_t>(n);
  }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
  std::size_t piece_;
};

struct ReadLines {
  std::vector<std::string> lines;
  bool ansi;
};

ReadLines ReadAll(const std::string& bytes, std::size_t chunk = 1 << 16, std::size_t piece = SIZE_MAX) {
  StringSource source(bytes, piece);
  BlockReader reader(source, chunk);
  ReadLines out;
  std::string_view line;
  while (reader.next(line)) out.lines.emplace_back(line);
  out.ansi = reader.textIsAnsi();
  return out;
}

// The lines as a plain byte-by-byte reading finds them: the reference.
std::vector<std::string> ReferenceLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\0' || c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      lines.push_back(line);
      line.clear();
      open = false;
      continue;
    }
    open = true;  // a line is there once any byte of it is, blanks too
    if ((c == ' ' || c == '\t') && line.empty()) continue;
    line.push_back(c);
  }
  if (open) lines.push_back(line);
  return lines;
}

ProjectInventory Inventory(const std::string& bytes) {
  StringSource source(bytes);
  BlockReader reader(source);
  return readProjectInventory(reader);
}

Text ArchiveProject() { return TestData("inventory/archive/Live Sets/\xC3\x89t\xC3\xA9 & Co's (final) #2.RPP"); }

}  // namespace

TEST(block_reader, splits_lines_at_every_terminator_and_drops_the_indent) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a\r\nb\n", {"a", "b"}},
      {"a\rb", {"a", "b"}},
      {"a\n\rb", {"a", "", "b"}},
      {"abc\r", {"abc"}},
      {std::string("a\0b", 3), {"a", "b"}},
      {"  \t <TRACK\n    >\n", {"<TRACK", ">"}},
      {"x\n\n", {"x", ""}},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, SIZE_MAX}) {
      const ReadLines got = ReadAll(c.bytes, 16, piece);
      EXPECT_EQ(got.lines, c.lines) << testing::PrintToString(c.bytes) << " in pieces of " << piece;
    }
  }
}

TEST(block_reader, agrees_with_a_plain_reading_on_random_bytes_and_small_chunks) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', ' ', '\t', '\n', '\r', '\0', '<', '>', '\xC3', '\xA9'};
  for (int round = 0; round < 300; ++round) {
    std::string bytes(random() % 200, 'x');
    for (char& c : bytes) c = alphabet[random() % sizeof alphabet];
    if (round % 3 == 0) bytes += std::string(100, 'y');  // a line longer than the chunk
    for (std::size_t chunk : {16, 17, 64}) {
      ASSERT_EQ(ReadAll(bytes, chunk, 1 + random() % 40).lines, ReferenceLines(bytes))
          << testing::PrintToString(bytes) << " chunk " << chunk;
    }
  }
}

TEST(block_reader, decides_the_encoding_as_the_loader_does) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
    bool ansi;
  } cases[] = {
      {"caf\xC3\xA9\n", {"caf\xC3\xA9"}, false},                       // no mark, well-formed UTF-8
      {"caf\xE9\nok\n", {"caf\xE9", "ok"}, true},                       // no mark, not UTF-8: ANSI
      {"ok\nend\xC3", {"ok", "end\xC3"}, true},                         // cut short at the end
      {"\xEF\xBB\xBFx\xE9\n", {"x\xE9"}, false},                        // UTF-8 mark: UTF-8 whatever follows
      {std::string("\xFF\xFEx\0\r\0\n\0\xE9\0", 10), {"x", "\xC3\xA9"}, false},  // UTF-16, CR LF units
      {std::string("\xFF\xFE\x3D\xD8\x00\xDE\0\xD8!\0", 10), {"\xF0\x9F\x98\x80\xEF\xBF\xBD!"}, false},  // pair, lone
      {std::string("\xFE\xFF\0a", 4), {"", "a"}, true},                  // UTF-16 BE mark: bytes as ANSI
  };
  for (const Case& c : cases) {
    const ReadLines got = ReadAll(c.bytes, 16, 3);
    EXPECT_EQ(got.lines, c.lines) << testing::PrintToString(c.bytes);
    EXPECT_EQ(got.ansi, c.ansi) << testing::PrintToString(c.bytes);
  }
}

TEST(project_inventory, a_file_that_does_not_start_with_the_project_block_is_not_a_project) {
  EXPECT_FALSE(Inventory("notes\n<REAPER_PROJECT 0.1 \"7.0/x64\"\n").isProject);
  EXPECT_FALSE(Inventory("").isProject);
  EXPECT_FALSE(Inventory("<REAPER_PROJECTS 1\n").isProject);
  const ProjectInventory p = Inventory("<REAPER_PROJECT 0.1 \"6.36-beta/macOS-arm64\" 1\n>\n");
  EXPECT_TRUE(p.isProject);
  EXPECT_EQ(p.reaperVersion, "6.36-beta");
  EXPECT_EQ(p.reaperPlatform, "macOS-arm64");
  EXPECT_EQ(Inventory("<REAPER_PROJECT 0.1 \"4.52\" 1\n").reaperPlatform, "");
}

TEST(project_inventory, finds_every_instance_where_it_sits_with_its_state_and_preset) {
  const ProjectInventory p = Inventory(ReadBytes(ArchiveProject()));
  ASSERT_TRUE(p.isProject);
  EXPECT_EQ(p.tracks, 2);  // the copy a snapshot keeps in EXTENSIONS is not a track
  struct Row {
    FxLocation location;
    int track;
    const char *trackName, *item, *container;
    FxFormat format;
    bool instrument;
    const char *name, *vendor, *file, *id;
    FxState state;
    const char* preset;
  } expected[] = {
      {FxLocation::Master, 0, "", "", "", FxFormat::Vst2, false, "ReaEQ", "Cockos", "reaeq.vst.so", "1919247729",
       FxState::Online, "Mastering \"air\""},
      {FxLocation::Master, 0, "", "", "", FxFormat::Vst3, false, "Pro-Q 3", "FabFilter", "FabFilter Pro-Q 3.vst3",
       "756089518{72C4DB717A4D459AB97E51745D84B39D}", FxState::Offline, ""},
      {FxLocation::Track, 1, "Lead <Vox> & co", "", "", FxFormat::Clap, true, "Surge XT", "Surge Synth Team", "",
       "org.surge-synth-team.surge-xt", FxState::Bypassed, "Init \"Saw\" 'one'"},
      {FxLocation::Track, 1, "Lead <Vox> & co", "", "", FxFormat::Js, false, "3BandEQ", "", "loser/3BandEQ", "",
       FxState::Online, ""},
      {FxLocation::Track, 1, "Lead <Vox> & co", "", "", FxFormat::Js, false, "SatanVerb", "",
       "Saike Tools/SatanVerb.jsfx", "", FxState::Online, ""},
      {FxLocation::Track, 1, "Lead <Vox> & co", "", "Parallel bus", FxFormat::Au, false, "StudioLink", "ITSR", "",
       "ITSR: StudioLink", FxState::Online, ""},
      {FxLocation::Track, 1, "Lead <Vox> & co", "", "Inner", FxFormat::Lv2, false, "LSP Compressor Stereo", "LSP LV2", "",
       "http://lsp-plug.in/plugins/lv2/compressor_stereo", FxState::Bypassed, ""},
      {FxLocation::Track, 1, "Lead <Vox> & co", "", "", FxFormat::Other, false, "Video processor", "", "", "",
       FxState::Online, ""},
      {FxLocation::Track, 1, "Lead <Vox> & co", "", "", FxFormat::Other, false, "ReWire: Something New", "", "", "",
       FxState::Online, ""},
      {FxLocation::TrackInput, 1, "Lead <Vox> & co", "", "", FxFormat::Dx, false, "Chorus", "Microsoft", "",
       "{EFE6629C-81F7-4281-BD91-C9D604A95AF6}", FxState::Online, ""},
      {FxLocation::Take, 1, "Lead <Vox> & co", "Second \"take\"", "", FxFormat::Vst2, true, "M1 Le (x86)", "KORG",
       "M1 Le.dll", "1263291724", FxState::Online, ""},
      {FxLocation::Track, 2, "Bass", "", "", FxFormat::Vst2, false, "ReaComp", "Cockos", "reacomp.dll", "1919247213",
       FxState::Frozen, ""},
      {FxLocation::Take, 2, "Bass", "frozen-item", "", FxFormat::Js, false, "volume", "", "utility/volume", "",
       FxState::Frozen, ""},
      {FxLocation::Track, 2, "Bass", "", "", FxFormat::Vst3, false, "SSLGChannel Stereo", "Waves",
       "WaveShell1-VST3 13.0.vst3", "73413357{5653545343475373736C676368616E6E}", FxState::Online, ""},
  };
  ASSERT_EQ(p.plugins.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const Row& e = expected[i];
    const PluginInstance& g = p.plugins[i];
    SCOPED_TRACE("instance " + std::to_string(i + 1) + ": " + g.display);
    EXPECT_EQ(g.location, e.location);
    EXPECT_EQ(g.track, e.track);
    EXPECT_EQ(g.trackName, e.trackName);
    EXPECT_EQ(g.item, e.item);
    EXPECT_EQ(g.container, e.container);
    EXPECT_EQ(g.format, e.format);
    EXPECT_EQ(g.instrument, e.instrument);
    EXPECT_EQ(g.name, e.name);
    EXPECT_EQ(g.vendor, e.vendor);
    EXPECT_EQ(g.file, e.file);
    EXPECT_EQ(g.id, e.id);
    EXPECT_EQ(g.state, e.state);
    EXPECT_EQ(g.preset, e.preset);
  }
  EXPECT_EQ(p.plugins[4].display, "My verb");  // a JS's own name for itself
  EXPECT_EQ(p.plugins[3].display, "JS: loser/3BandEQ");
  ASSERT_EQ(p.media.size(), 4u);
  EXPECT_EQ(p.media[0].file, "Recordings\\take.flac");
  EXPECT_EQ(p.media[1].file, "/nonexistent/quorvel/missing.wav");
  EXPECT_EQ(p.media[2].file, "Recordings/take.flac");
  EXPECT_EQ(p.media[3].file, "Audio/kick.wav");
  EXPECT_EQ(p.media[3].uses, 2u);  // the frozen item and the track's own item name one file
}

TEST(project_inventory, texts_are_decoded_from_the_files_encoding) {
  const std::string ansi = "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\nNAME \"Caf\xE9\"\n<FXCHAIN\nBYPASS 0 0 0\n"
                           "<VST \"VST: Gr\xFCn (\x80 Labs)\" x.dll 0 \"\" 1\n>\n>\n>\n";
  const ProjectInventory a = Inventory(ansi);
  ASSERT_EQ(a.plugins.size(), 1u);
  EXPECT_EQ(a.plugins[0].trackName, "Caf\xC3\xA9");
  EXPECT_EQ(a.plugins[0].vendor, "\xE2\x82\xAC Labs");  // Windows-1252 0x80 is the euro sign
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : std::u16string(u"<REAPER_PROJECT 0.1 \"7.0/x64\"\r\n<TRACK\r\nNAME \"\u00C9t\u00E9\"\r\n<FXCHAIN\r\n"
                                   u"<CLAP \"CLAP: \u041A (V)\" k.id \"\"\r\n>\r\n>\r\n>\r\n")) {
    utf16.push_back(static_cast<char>(c & 0xFF));
    utf16.push_back(static_cast<char>(c >> 8));
  }
  const ProjectInventory u = Inventory(utf16);
  ASSERT_EQ(u.plugins.size(), 1u);
  EXPECT_EQ(u.plugins[0].trackName, "\xC3\x89t\xC3\xA9");
  EXPECT_EQ(u.plugins[0].name, "\xD0\x9A");
  EXPECT_EQ(u.plugins[0].id, "k.id");
}

TEST(project_inventory, splits_labels_into_name_and_vendor_past_channel_notes) {
  struct Case {
    const char *label, *name, *vendor;
    bool instrument;
  } cases[] = {
      {"VST: ReaComp (Cockos)", "ReaComp", "Cockos", false},
      {"VSTi: Kontakt 7 (Native Instruments) (16 out)", "Kontakt 7", "Native Instruments", true},
      {"VST3i: Synth (Acme) (2->4ch)", "Synth", "Acme", true},
      {"VST: Meter (8ch)", "Meter", "", false},
      {"CLAPi: Vital (Vital Audio)", "Vital", "Vital Audio", true},
      {"AU: ITSR: StudioLink", "ITSR: StudioLink", "", false},
      {"My renamed thing", "My renamed thing", "", false},
      {"VST: RX 7 De-click (iZotope, Inc.)", "RX 7 De-click", "iZotope, Inc.", false},
      {"(Only)", "(Only)", "", false},
  };
  for (const Case& c : cases) {
    std::string name, vendor;
    bool instrument = true;
    splitPluginLabel(c.label, name, vendor, instrument);
    EXPECT_EQ(name, c.name) << c.label;
    EXPECT_EQ(vendor, c.vendor) << c.label;
    EXPECT_EQ(instrument, c.instrument) << c.label;
  }
}

TEST(plugin_caches, matches_by_keys_and_ids_never_by_name) {
  PluginCaches caches;
  caches.loadFolder(TestData("inventory/resources"));
  ProjectInventory p = Inventory(ReadBytes(ArchiveProject()));
  std::vector<std::string> got;
  for (PluginInstance& i : p.plugins) got.push_back(std::string(statusWord(caches.statusOf(i))));
  const std::vector<std::string> expected = {
      "installed",  // reaeq.vst.so by its file
      "installed",  // "FabFilter Pro-Q 3.vst3" as FabFilter_Pro_Q_3.vst3
      "installed",  // CLAP id
      "installed",  // JS in reaper-jsfx.ini
      "installed",  // JS file under Effects/
      "installed",  // AU identifier
      "unknown",    // LV2
      "unknown",    // video processor
      "unknown",    // an effect of no known kind
      "unknown",    // DX
      "missing",    // M1_Le.dll was scanned but holds no plug-in, and its id is nowhere
      "installed",  // reacomp.dll is not there, but its id is (reacomp.vst.so)
      "missing",    // JS utility/volume
      "installed",  // shell child WaveShell1_VST3_13.0.vst3<73413357
  };
  EXPECT_EQ(got, expected);
  // A plug-in named like an installed one but with another file and id is missing.
  PluginInstance lookalike = p.plugins[0];
  lookalike.file = "ReaEQ-old.dll";
  lookalike.id = "42";
  EXPECT_EQ(caches.statusOf(lookalike), InstallStatus::Missing);
  // JS names come from the cache's description.
  caches.describeJs(p.plugins[3]);
  EXPECT_EQ(p.plugins[3].name, "3-Band EQ");
  EXPECT_EQ(p.plugins[3].vendor, "LOSER");
}

TEST(plugin_caches, a_format_without_a_cache_is_unknown_and_other_forms_count) {
  PluginCaches caches;
  PluginInstance vst;
  vst.format = FxFormat::Vst2;
  vst.file = "x.dll";
  EXPECT_EQ(caches.statusOf(vst), InstallStatus::Unknown);
  caches.addVstShells("[Serum2.vst3]\ncount=1\npl0=691258006{56534558667350736572756D20320000\n");
  caches.addVstCache("[vstcache]\r\nother.dll=00,5,Other\r\n");
  vst.file = "Serum2.vst3";
  vst.id = "691258006{56534558667350736572756D20320000}";
  EXPECT_EQ(caches.statusOf(vst), InstallStatus::Installed);  // from the shells list
  PluginInstance au;
  au.format = FxFormat::Au;
  au.id = "Sound Particles: Air";
  EXPECT_EQ(caches.statusOf(au), InstallStatus::Unknown);
  caches.addAuComponents("AU \"AIR Music Technology:Xpand!2\" \"x\" 1635085685 8 1635085685 1 2\n");
  EXPECT_EQ(caches.statusOf(au), InstallStatus::Missing);
  au.id = "AIR Music Technology: Xpand!2";  // no space after the colon in the cache
  EXPECT_EQ(caches.statusOf(au), InstallStatus::Installed);
  au.id = "Renamed: Thing";
  au.auSubtype = 1;
  au.auManufacturer = 2;
  EXPECT_EQ(caches.statusOf(au), InstallStatus::Installed);  // by its component codes
}
