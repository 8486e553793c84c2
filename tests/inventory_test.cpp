#include "core/archive_totals.h"
#include "core/in_order_reading.h"
#include "core/media_paths.h"
#include "runtime/path_text.h"
#include "core/block_reader.h"
#include "core/plugin_caches.h"
#include "core/project_finder.h"
#include "core/project_inventory.h"
#include "report/inventory_output.h"
#include "support/string_source.h"
#include "runtime/file_tree.h"
#include "runtime/utf8.h"
#include "runtime/paths.h"
#include "runtime/scratch_file.h"
#include "runtime/spill_buffer.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

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

// What a project set aside, read back.
struct Contents {
  std::vector<PluginInstance> plugins;
  std::vector<MediaReference> media;
};

Contents Replay(ProjectInventory& project) {
  Contents c;
  EXPECT_TRUE(project.forEach([&](const PluginInstance& i) { c.plugins.push_back(i); },
                              [&](const MediaReference& m) { c.media.push_back(m); }));
  return c;
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

TEST(block_reader, skipping_a_block_lands_where_counting_its_lines_does) {
  std::mt19937 random(11);
  const std::string pieces[] = {"<A x", ">", "  <B", "  >", "\t> y", "data<x>", "| >", "", " ", "\xC3\xA9<"};
  const char* ends[] = {"\n", "\r\n", "\r"};
  for (int round = 0; round < 400; ++round) {
    std::string bytes;
    for (int i = random() % 60; i > 0; --i) {
      bytes += pieces[random() % std::size(pieces)];
      bytes += random() % 4 == 3 ? std::string(1, '\0') : std::string(ends[random() % 3]);
    }
    const std::vector<std::string> all = ReadAll(bytes).lines;
    const std::size_t chunk = 16 + random() % 50, piece = 1 + random() % 70;
    StringSource source(bytes, piece);
    BlockReader reader(source, chunk);
    std::size_t i = 0;  // where a plain count of the lines stands
    std::string_view line;
    while (reader.next(line)) {
      ASSERT_LT(i, all.size());
      ASSERT_EQ(line, all[i]) << testing::PrintToString(bytes);
      ++i;
      if (line.empty() || line[0] != '<' || random() % 2 == 0) continue;
      int depth = 1;
      while (depth > 0 && i < all.size()) {
        const std::string& l = all[i++];
        if (!l.empty() && l[0] == '<') ++depth;
        else if (!l.empty() && l[0] == '>') --depth;
      }
      ASSERT_EQ(reader.skipBlock(), depth == 0) << testing::PrintToString(bytes) << " chunk " << chunk;
      if (depth > 0) break;
    }
    if (i < all.size() && !reader.next(line)) ADD_FAILURE() << "lines lost: " << testing::PrintToString(bytes);
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
      {std::string("\xFF\xFE" "a\0\n\0\x01", 7), {"a", ""}, false},  // an odd last byte begins a line
      {std::string("\xFF\xFE" "a\0\r\0\x01", 7), {"a"}, false},      // but not when it follows a CR
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
  ProjectInventory project = Inventory(ReadBytes(ArchiveProject()));
  ASSERT_TRUE(project.isProject);
  EXPECT_EQ(project.tracks, 2);  // the copy a snapshot keeps in EXTENSIONS is not a track
  const Contents p = Replay(project);
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
  ProjectInventory ansiProject = Inventory(ansi);
  const Contents a = Replay(ansiProject);
  ASSERT_EQ(a.plugins.size(), 1u);
  EXPECT_EQ(a.plugins[0].trackName, "Caf\xC3\xA9");
  EXPECT_EQ(a.plugins[0].vendor, "\xE2\x82\xAC Labs");  // Windows-1252 0x80 is the euro sign
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : std::u16string(u"<REAPER_PROJECT 0.1 \"7.0/x64\"\r\n<TRACK\r\nNAME \"\u00C9t\u00E9\"\r\n<FXCHAIN\r\n"
                                   u"<CLAP \"CLAP: \u041A (V)\" k.id \"\"\r\n>\r\n>\r\n>\r\n")) {
    utf16.push_back(static_cast<char>(c & 0xFF));
    utf16.push_back(static_cast<char>(c >> 8));
  }
  ProjectInventory utf16Project = Inventory(utf16);
  const Contents u = Replay(utf16Project);
  ASSERT_EQ(u.plugins.size(), 1u);
  EXPECT_EQ(u.plugins[0].trackName, "\xC3\x89t\xC3\xA9");
  EXPECT_EQ(u.plugins[0].name, "\xD0\x9A");
  EXPECT_EQ(u.plugins[0].id, "k.id");
}

TEST(project_inventory, in_project_midi_data_is_passed_over_and_what_follows_is_read) {
  ProjectInventory project = Inventory(
      "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\n<ITEM\nNAME a\n<SOURCE MIDI\nHASDATA 1 960 QN\nE 0 90 3c 60\n"
      "<X 0 0\n/wAA\n>\nFILE \"not-a-file.mid\"\nE 1 80 3c 00\n>\n<TAKEFX\nBYPASS 0 0 0\n<JS a/b \"\"\n>\n>\n>\n"
      "<ITEM\n<SOURCE MIDI\nFILE \"song.mid\"\n>\n>\n>\n<TRACK\n>\n>\n");
  EXPECT_EQ(project.tracks, 2);
  const Contents p = Replay(project);
  ASSERT_EQ(p.media.size(), 1u);
  EXPECT_EQ(p.media[0].file, "song.mid");
  ASSERT_EQ(p.plugins.size(), 1u);
  EXPECT_EQ(p.plugins[0].item, "a");
  EXPECT_EQ(p.plugins[0].location, FxLocation::Take);
}

namespace {

// 3,000 tracks, more than memory keeps of a project's instances: each with a
// plug-in (its preset after a parameter envelope, every 10th renamed), a JS
// in a container (a PRESETNAME after the container belongs to nothing) and a
// take FX; the master's chain halfway; the second track's name 100 KB long;
// 1,000 media files named three times each.
std::string BigProject() {
  std::string bytes = "<REAPER_PROJECT 0.1 \"7.0/x64\"\n";
  for (int t = 1; t <= 3000; ++t) {
    const std::string n = std::to_string(t);
    if (t == 1500) bytes += "<MASTERFXLIST\nBYPASS 1 0 0\n<VST \"VST: Limiter (V)\" lim.dll 0 \"\" 3\n>\n>\n";
    bytes += "<TRACK\nNAME \"" + (t == 2 ? std::string(100000, 'L') : "T" + n) + "\"\n<FXCHAIN\nBYPASS 0 0 0\n";
    bytes += t % 10 == 0 ? "<VST \"VST: EQ renamed (W)\" eq.dll 0 \"\" 1\n>\n" : "<VST \"VST: EQ (V)\" eq.dll 0 \"\" 1\n>\n";
    bytes += "<PARMENV 1\n>\nPRESETNAME p" + n + "\nBYPASS 0 0 0\n<CONTAINER Container \"box\"\nBYPASS 0 0 0\n"
             "<JS utility/volume \"\"\n>\n>\nPRESETNAME lost\n>\n<ITEM\nNAME take" + n +
             "\n<TAKEFX\nBYPASS 0 1 0\n<VST \"VSTi: Synth (V)\" syn.dll 0 \"\" 2\n>\n>\n<SOURCE WAVE\nFILE \"a" +
             std::to_string(t % 1000) + ".wav\"\n>\n>\n>\n";
  }
  return bytes + "<TRACK\n<ITEM\n<SOURCE WAVE\nFILE a1.wav\n>\n>\n<ITEM\n<SOURCE WAVE\nFILE a2.wav\n>\n>\n>\n>\n";
}

}  // namespace

TEST(project_inventory, a_project_larger_than_memory_keeps_comes_back_whole_in_file_order) {
  ProjectInventory project = Inventory(BigProject());
  EXPECT_EQ(project.instances, 9001u);
  ASSERT_EQ(project.plugins.size(), 4u);  // distinct: EQ, volume, Synth, Limiter
  EXPECT_EQ(project.plugins[0].instances, 3000u);
  EXPECT_EQ(project.plugins[0].first.display, "VST: EQ (V)");
  EXPECT_EQ(project.media, 1000u);
  const Contents c = Replay(project);
  ASSERT_EQ(c.plugins.size(), 9001u);
  std::size_t at = 0;
  for (int t = 1; t <= 3000; ++t) {
    SCOPED_TRACE("track " + std::to_string(t));
    if (t == 1500) {
      const PluginInstance& m = c.plugins[at++];
      EXPECT_EQ(m.location, FxLocation::Master);
      EXPECT_EQ(m.track, 0);
      EXPECT_EQ(m.trackName, "");
      EXPECT_EQ(m.state, FxState::Bypassed);
      EXPECT_EQ(m.name, "Limiter");
    }
    const std::string name = t == 2 ? std::string(100000, 'L') : "T" + std::to_string(t);
    const PluginInstance& eq = c.plugins[at++];
    const PluginInstance& js = c.plugins[at++];
    const PluginInstance& take = c.plugins[at++];
    EXPECT_EQ(eq.track, t);
    EXPECT_TRUE(eq.trackName == name);
    EXPECT_EQ(eq.display, t % 10 == 0 ? "VST: EQ renamed (W)" : "VST: EQ (V)");
    EXPECT_EQ(eq.name, t % 10 == 0 ? "EQ renamed" : "EQ");
    EXPECT_EQ(eq.vendor, t % 10 == 0 ? "W" : "V");
    EXPECT_EQ(eq.preset, "p" + std::to_string(t));
    EXPECT_EQ(eq.item, "");
    EXPECT_EQ(eq.container, "");
    EXPECT_EQ(js.file, "utility/volume");
    EXPECT_EQ(js.container, "box");
    EXPECT_EQ(js.preset, "");
    EXPECT_TRUE(js.trackName == name);
    EXPECT_EQ(take.location, FxLocation::Take);
    EXPECT_EQ(take.item, "take" + std::to_string(t));
    EXPECT_TRUE(take.instrument);
    EXPECT_EQ(take.state, FxState::Offline);
    EXPECT_EQ(take.preset, "");
  }
  ASSERT_EQ(c.media.size(), 1000u);
  for (std::size_t i = 0; i < c.media.size(); ++i) {
    EXPECT_EQ(c.media[i].file, "a" + std::to_string((i + 1) % 1000) + ".wav");
    EXPECT_EQ(c.media[i].uses, i < 2 ? 4u : 3u);
  }
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
  ProjectInventory project = Inventory(ReadBytes(ArchiveProject()));
  Contents p = Replay(project);
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

namespace {

// A small archive in memory, handed to a writer as the command hands it: two
// projects in path order and an error.
const std::string kHostile =
    "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\nNAME '<script>alert(\"x\")</script>, \"q\"\tz'\n<FXCHAIN\n"
    "BYPASS 0 0 0\n<VST 'VST: A,B \"C\" (V&V)' a.dll 0 \"\" 7\n>\n>\n<ITEM\n<SOURCE WAVE\nFILE \"m\x01.wav\"\n>\n>\n>\n>\n";
const std::string kPlain =
    "<REAPER_PROJECT 0.1 \"6.0/OSX64\"\n<MASTERFXLIST\nBYPASS 0 0 0\n<VST 'VST: A,B \"C\" (V&V)' a.dll 0 \"\" 7\n>\n"
    "BYPASS 0 0 0\n<JS utility/volume \"\"\n>\n>\n>\n";

std::string Written(InventoryFormat format, ArchiveTotals* totalsSeen = nullptr) {
  ProjectInventory plain = Inventory(kPlain), hostile = Inventory(kHostile);
  const std::string plainPath = PathText(u"/archive/a\xDCE9.rpp");  // a name byte that is not UTF-8
  std::string bytes;
  SinkOf sink([&](std::string_view piece) {
    bytes += piece;
    return true;
  });
  const std::unique_ptr<InventoryWriter> writer = makeInventoryWriter(format, std::string("/res"), sink);
  ArchiveTotals own;
  ArchiveTotals& totals = totalsSeen != nullptr ? *totalsSeen : own;
  EXPECT_TRUE(writer->open(u""));
  totals.addProject(plain, plainPath);
  EXPECT_TRUE(writer->addProject({plainPath, plain}));
  totals.addProject(hostile, "/archive/b.rpp");
  EXPECT_TRUE(writer->addProject({"/archive/b.rpp", hostile}));
  totals.addError("/archive/z.rpp", "cannot be found");
  totals.finish();
  EXPECT_TRUE(writer->finish(totals));
  return bytes;
}

}  // namespace

TEST(archive_inventory, plugins_aggregate_by_identity_and_the_first_instance_names_them) {
  ArchiveTotals totals;
  Written(InventoryFormat::Json, &totals);
  EXPECT_EQ(totals.projects(), 2u);
  EXPECT_EQ(totals.instances(), 3u);
  EXPECT_EQ(totals.missingMedia(), 1u);
  ASSERT_EQ(totals.plugins().size(), 2u);
  EXPECT_EQ(totals.plugins()[0].name, "A,B \"C\"");  // sorted by name
  EXPECT_EQ(totals.plugins()[0].projects, 2u);
  EXPECT_EQ(totals.plugins()[0].instances, 2u);
  EXPECT_EQ(totals.plugins()[1].file, "utility/volume");
  EXPECT_EQ(totals.plugins()[1].projects, 1u);
  // Two instances of one identity in one project count one project; the
  // first met gives the identity its texts and status.
  ArchiveTotals twice;
  struct MissingA : ProjectChecks {
    void checkPlugin(PluginInstance& p) override {
      p.status = p.file == "a.dll" ? InstallStatus::Missing : InstallStatus::Installed;
    }
  } checks;
  StringSource source(kPlain.substr(0, kPlain.size() - 4) + "BYPASS 0 0 0\n<VST 'VST: renamed' a.dll 0 \"\" 7\n>\n>\n>\n");
  BlockReader reader(source);
  ProjectInventory p = readProjectInventory(reader, checks);
  EXPECT_EQ(p.missingInstances, 2u);
  twice.addProject(p);
  twice.finish();
  ASSERT_EQ(twice.plugins().size(), 2u);
  EXPECT_EQ(twice.plugins()[0].display, "VST: A,B \"C\" (V&V)");
  EXPECT_EQ(twice.plugins()[0].status, InstallStatus::Missing);
  EXPECT_EQ(twice.plugins()[0].projects, 1u);
  EXPECT_EQ(twice.plugins()[0].instances, 2u);
  EXPECT_EQ(twice.missingPlugins(), 1u);
  // Read back, each instance keeps its own label.
  const Contents back = Replay(p);
  ASSERT_EQ(back.plugins.size(), 3u);
  EXPECT_EQ(back.plugins[2].display, "VST: renamed");
  EXPECT_EQ(back.plugins[2].name, "renamed");
  EXPECT_EQ(back.plugins[2].status, InstallStatus::Missing);
}

TEST(archive_inventory, every_output_keeps_hostile_names_as_text) {
  const std::string html = Written(InventoryFormat::Html);
  EXPECT_EQ(html.find("<script>alert"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("/archive/a\xEF\xBF\xBD.rpp"), std::string::npos);  // the odd byte shown as U+FFFD
  EXPECT_EQ(html.find("\xED\xB3"), std::string::npos);                   // never as a surrogate
  const std::string json = Written(InventoryFormat::Json);
  EXPECT_NE(json.find(R"("path": "/archive/a\udce9.rpp")"), std::string::npos);
  EXPECT_NE(json.find(R"("track_name": "<script>alert(\"x\")</script>, \"q\"\tz")"), std::string::npos);
  EXPECT_NE(json.find(R"("file": "m\u0001.wav")"), std::string::npos);
  EXPECT_NE(json.find(R"("errors": [)" "\n" R"(    {"path": "/archive/z.rpp", "message": "cannot be found"})"),
            std::string::npos);
  const std::string csv = Written(InventoryFormat::Csv);
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "\xEF\xBB\xBFproject,location,track,track name,item,format,kind,name,vendor,file,id,state,preset,status,"
            "container,reaper_version,reaper_platform,project_status");
  EXPECT_NE(csv.find("/archive/b.rpp,track,1,\"<script>alert(\"\"x\"\")</script>, \"\"q\"\"\tz\",,VST2,effect,"
                     "\"A,B \"\"C\"\"\",V&V,a.dll,7,online,,unknown,,7.0,x64,incomplete\r\n"),
            std::string::npos);
}

TEST(archive_inventory, the_parts_set_aside_come_back_in_place_after_the_summary) {
  // The summary counts what only the end knows; the projects follow it in
  // the order they came, each once.
  const std::string json = Written(InventoryFormat::Json);
  const std::size_t summary = json.find(R"("summary": {"projects": 2, "plugins": 2, "instances": 3)");
  const std::size_t first = json.find(R"("path": "/archive/a\udce9.rpp")");
  const std::size_t second = json.find(R"("path": "/archive/b.rpp")");
  ASSERT_NE(summary, std::string::npos);
  EXPECT_LT(summary, first);
  EXPECT_LT(first, second);
  const std::size_t plugins = json.find("\"plugins\": [\n    {\"format\"");
  EXPECT_LT(second, plugins);
  EXPECT_GT(json.find(R"("path": "/archive/b.rpp")", second + 1), plugins);  // only in used_by
  const std::string html = Written(InventoryFormat::Html);
  const std::size_t table = html.find("<table id=\"plugins\"");
  const std::size_t rows = html.find("<td><a href=\"#p1\">/archive/a\xEF\xBF\xBD.rpp</a>");
  const std::size_t row2 = html.find("<td><a href=\"#p2\">/archive/b.rpp</a>");
  const std::size_t section = html.find("<details id=\"p1\"><summary>/archive/a\xEF\xBF\xBD.rpp");
  const std::size_t section2 = html.find("<details id=\"p2\"><summary>/archive/b.rpp");
  ASSERT_NE(table, std::string::npos);
  EXPECT_LT(table, rows);
  EXPECT_LT(rows, row2);
  EXPECT_LT(row2, html.find("</tbody>\n</table>\n<details id=\"p1\">"));
  EXPECT_LT(row2, section);
  EXPECT_LT(section, section2);
  EXPECT_LT(section2, html.find("<h2>Errors</h2>"));
}

TEST(archive_inventory, a_long_path_on_the_page_breaks_between_folders_only) {
  // A narrow column breaks a path where a <wbr> allows it: after a
  // separator of a long path, never inside a name; a short path stays whole.
  const struct {
    std::string path, shown;
  } cases[] = {
      {"/archive/b.rpp", "/archive/b.rpp"},
      {"/home/me/Music/REAPER/2024/Night & Day/mix.rpp",
       "/<wbr>home/<wbr>me/<wbr>Music/<wbr>REAPER/<wbr>2024/<wbr>Night &amp; Day/<wbr>mix.rpp"},
      {"C:\\Users\\me\\Documents\\REAPER Media\\Song\\Song.rpp",
       "C:\\<wbr>Users\\<wbr>me\\<wbr>Documents\\<wbr>REAPER Media\\<wbr>Song\\<wbr>Song.rpp"},
      {"/home/me/Music/REAPER/a folder that ends/", "/<wbr>home/<wbr>me/<wbr>Music/<wbr>REAPER/<wbr>a folder that ends/"},
  };
  for (const auto& c : cases) {
    ProjectInventory project = Inventory(kPlain);
    ArchiveTotals totals;
    totals.addProject(project);
    totals.finish();
    std::string bytes;
    SinkOf sink([&](std::string_view piece) {
      bytes += piece;
      return true;
    });
    const std::unique_ptr<InventoryWriter> writer = makeInventoryWriter(InventoryFormat::Html, std::nullopt, sink);
    ASSERT_TRUE(writer->open(u""));
    ASSERT_TRUE(writer->addProject({c.path, project}));
    ASSERT_TRUE(writer->finish(totals));
    EXPECT_NE(bytes.find("<a href=\"#p1\">" + c.shown + "</a>"), std::string::npos) << c.path;
    EXPECT_NE(bytes.find("<details id=\"p1\"><summary>" + c.shown + " <span"), std::string::npos) << c.path;
  }
}

TEST(archive_inventory, a_refusing_sink_stops_the_writer_and_is_reported) {
  ProjectInventory plain = Inventory(kPlain);
  ArchiveTotals totals;
  totals.addProject(plain);
  totals.finish();
  for (InventoryFormat format : {InventoryFormat::Html, InventoryFormat::Json, InventoryFormat::Csv}) {
    int calls = 0;
    SinkOf refusing([&](std::string_view) { return ++calls > 1; });
    const std::unique_ptr<InventoryWriter> writer = makeInventoryWriter(format, std::nullopt, refusing);
    ASSERT_TRUE(writer->open(u""));
    writer->addProject({"/p.rpp", plain});
    EXPECT_FALSE(writer->finish(totals));
    EXPECT_EQ(calls, 1);  // nothing handed over after the refusal
    EXPECT_EQ(writer->failureReason(), u"");  // the sink's owner knows why
  }
}

TEST(archive_inventory, project_paths_sort_by_their_bytes_once_each_and_give_the_text_back) {
  ProjectPaths paths;
  const std::vector<Text> added = {u"/a/b.rpp", u"/a/\xDCE9.rpp", u"/a/B.rpp", u"/a/\xD83C\xDFB5.rpp",
                                   u"/a/b.rpp", u"/a/\xE9.rpp", u"/a/\xDCE9.rpp", u"/a/\xD83C.rpp"};
  for (const Text& p : added) paths.add(p);
  paths.sort();
  // By UTF-8 bytes: "B" < "b" < U+00E9 < a lone surrogate (ED ..) < U+1F3B5 (F0 ..).
  const std::vector<Text> expected = {u"/a/B.rpp", u"/a/b.rpp", u"/a/\xE9.rpp", u"/a/\xD83C.rpp", u"/a/\xDCE9.rpp",
                                      u"/a/\xD83C\xDFB5.rpp"};
  ASSERT_EQ(paths.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(paths.path(i), expected[i]) << i;
    EXPECT_EQ(paths.bytes(i), PathText(expected[i])) << i;
  }
  EXPECT_EQ(FolderOfPathText(paths.bytes(0)), "/a/");
  EXPECT_EQ(FolderOfPathText("name.rpp"), "");
}

TEST(archive_inventory, reading_in_order_holds_back_at_most_its_window_behind_a_slow_first_project) {
  constexpr std::size_t kCount = 40, kWindow = 6;
  std::atomic<std::size_t> handedOver{0};
  std::atomic<bool> aheadOfWindow{false};
  std::vector<std::size_t> order;
  InOrderReading reading;
  reading.count = kCount;
  reading.jobs = 4;
  reading.window = kWindow;
  reading.read = [&](std::size_t i) {
    if (i > handedOver.load() + kWindow) aheadOfWindow = true;
    if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(150));
    if (i == 7) throw std::bad_alloc();
    ProjectFileResult r;
    r.bytes = static_cast<std::int64_t>(i);
    return r;
  };
  reading.deliver = [&](std::size_t i, ProjectFileResult& r) {
    ++handedOver;
    order.push_back(i);
    EXPECT_EQ(r.bytes, i == 7 ? 0 : static_cast<std::int64_t>(i));  // each result with its own index
    EXPECT_EQ(r.reason, i == 7 ? "not enough memory to read it" : "");
    return true;
  };
  int idles = 0;
  reading.idle = [&] { ++idles; };
  reading.tick = std::chrono::milliseconds(20);
  EXPECT_TRUE(readInOrder(reading));
  std::vector<std::size_t> expected(kCount);
  for (std::size_t i = 0; i < kCount; ++i) expected[i] = i;
  EXPECT_EQ(order, expected);
  EXPECT_FALSE(aheadOfWindow);
  EXPECT_GT(idles, 0);  // called while the first project held everything back

  // A refusal stops the reading: nothing more is handed over, and no project
  // is started beyond the window.
  std::atomic<std::size_t> started{0}, highest{0};
  order.clear();
  reading.read = [&](std::size_t i) {
    ++started;
    for (std::size_t h = highest.load(); i > h && !highest.compare_exchange_weak(h, i);) {
    }
    return ProjectFileResult();
  };
  reading.deliver = [&](std::size_t i, ProjectFileResult&) {
    order.push_back(i);
    return i < 3;
  };
  EXPECT_FALSE(readInOrder(reading));
  EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3}));
  EXPECT_LE(highest.load(), 3 + kWindow);
  EXPECT_LT(started.load(), kCount);
}

TEST(archive_inventory, media_paths_resolve_from_the_projects_folder_with_either_separator) {
  const Text folder = Text(u"/p/") ;
  const Text sep(1, FolderSeparator());
  EXPECT_EQ(resolveMediaPath(folder, "Audio\\a b.wav"), u"/p/Audio" + sep + u"a b.wav");
  EXPECT_EQ(resolveMediaPath(folder, "Audio/x.wav"), u"/p/Audio" + sep + u"x.wav");
  EXPECT_EQ(resolveMediaPath(folder, "/abs/x.wav"), u"/abs/x.wav");
  EXPECT_EQ(resolveMediaPath(folder, "C:\\Users\\x.wav"), u"C:\\Users\\x.wav");
  EXPECT_EQ(resolveMediaPath(folder, "\\\\server\\share\\x.wav"), u"\\\\server\\share\\x.wav");
}

TEST(archive_inventory, the_test_archive_project_read_from_its_file) {
  PluginCaches caches;
  caches.loadFolder(TestData("inventory/resources"));
  ProjectFileResult r = inventoryProjectFile(ArchiveProject(), &caches);
  ASSERT_EQ(r.reason, "");
  const Contents c = Replay(r.inventory);
  const std::vector<MediaReference>& m = c.media;
  ASSERT_EQ(m.size(), 4u);
  EXPECT_TRUE(m[0].exists);   // Recordings\take.flac, with a backslash
  EXPECT_FALSE(m[1].exists);  // an absolute path that is not there
  EXPECT_TRUE(m[2].exists);
  EXPECT_TRUE(m[3].exists);
  EXPECT_EQ(c.plugins[3].name, "3-Band EQ");  // named from the JS cache
  const ProjectFileResult notes = inventoryProjectFile(TestData("inventory/archive/2023/notes.rpp"), &caches);
  EXPECT_EQ(notes.reason, "not a REAPER project (its first line is not <REAPER_PROJECT)");
  EXPECT_EQ(inventoryProjectFile(TestData("inventory/archive/none.rpp"), &caches).reason, "cannot be found");
}

namespace {

// The resource folders lie beside the corpus of real projects.
Text Resources(std::string_view pair) {
  Text real = CorpusFile("");
  while (!real.empty() && (real.back() == u'/' || real.back() == u'\\')) real.pop_back();
  return real.substr(0, real.size() - 4) + u"resources/" + TextFromUtf8(pair);
}

}  // namespace

TEST(inventory_corpus, snapshot_copies_are_not_tracks_in_the_real_podcast_project) {
  QUORVEL_SKIP_WITHOUT_CORPUS();
  const Text project = CorpusFile("05-osx64-540-podcast-sws-snapshots.rpp");
  ProjectFileResult r = inventoryProjectFile(project, nullptr);
  ASSERT_EQ(r.reason, "");
  EXPECT_EQ(r.inventory.tracks, 3);
  EXPECT_EQ(r.inventory.reaperVersion, "5.40");
  EXPECT_EQ(r.inventory.reaperPlatform, "OSX64");
  for (const PluginInstance& p : Replay(r.inventory).plugins) EXPECT_NE(p.file, "Soundboard.vst");  // only in snapshots
}

TEST(inventory_corpus, every_project_of_a_resource_pair_is_found_in_its_machines_caches) {
  struct Pair {
    const char* folder;
    const char* project;
    int instances, installed, missing, unknown;
  } pairs[] = {
      {"01-win64-liquidsyntes", "voice_BibleProjekt.rpp", 10, 10, 0, 0},
      {"01-win64-liquidsyntes", "voice_MIXING.rpp", 11, 11, 0, 0},
      {"02-win64-joncarr", "JECDnB172.RPP", 4, 4, 0, 0},
      {"02-win64-joncarr", "JECDrumSampleCreation.rpp", 3, 3, 0, 0},
      {"04-macos-luiza177", "NAF.RPP", 9, 9, 0, 0},
      {"05-macos-silvestroni", "M2M mix.RPP", 53, 53, 0, 0},
      {"06-macos-arm64-jonch070", "Discover_template.rpp", 23, 23, 0, 0},  // by its id: saved on Windows
      {"06-macos-arm64-jonch070", "BTI Reaper Template_1 Unpopulated.RPP", 14, 14, 0, 0},  // a video processor: REAPER's own
      {"07-macos-jdginn", "Console Template.RPP", 14, 14, 0, 0},
      {"08-mixed-ultraschall", "Ultraschall Soundboard.RPP", 9, 9, 0, 0},
      {"10-linux-ytg", "3_YTG-Mastering-Template.RPP", 6, 1, 0, 5},  // no JS cache in this folder
  };
  for (const Pair& pair : pairs) {
    const Text folder = Resources(pair.folder);
    if (PathKindOf(folder) != PathKind::Folder)
      GTEST_SKIP() << "no resource folders beside the corpus of real projects: " << TextToUtf8(folder);
    PluginCaches caches;
    caches.loadFolder(folder);
    ProjectFileResult r = inventoryProjectFile(folder + u"/projects/" + TextFromUtf8(pair.project), &caches);
    ASSERT_EQ(r.reason, "") << pair.project;
    int counts[3] = {};
    const Contents c = Replay(r.inventory);
    for (const PluginInstance& p : c.plugins) ++counts[static_cast<int>(p.status)];
    EXPECT_EQ(static_cast<int>(c.plugins.size()), pair.instances) << pair.project;
    EXPECT_EQ(counts[0], pair.installed) << pair.project;
    EXPECT_EQ(counts[1], pair.missing) << pair.project;
    EXPECT_EQ(counts[2], pair.unknown) << pair.project;
  }
}

TEST(inventory_corpus, the_arm64_cache_alone_misses_what_only_the_intel_build_found) {
  const Text folder = Resources("06-macos-arm64-jonch070");
  if (PathKindOf(folder) != PathKind::Folder)
    GTEST_SKIP() << "no resource folders beside the corpus of real projects: " << TextToUtf8(folder);
  PluginCaches arm;
  arm.addVstCache(ReadBytes(folder + u"/reaper-vstplugins_arm64.ini"));
  ProjectFileResult r = inventoryProjectFile(folder + u"/projects/7_1 Surround 96k.RPP", &arm);
  ASSERT_EQ(r.reason, "");
  int missing = 0;
  for (const PluginInstance& p : Replay(r.inventory).plugins) {
    if (p.status == InstallStatus::Missing) {
      ++missing;
      EXPECT_EQ(p.file, "SH Signal Router.vst");
    }
  }
  EXPECT_EQ(missing, 1);
}

using inventory_media = TempFolder;

TEST_F(inventory_media, a_missing_folder_and_a_missing_file_in_a_present_folder_are_both_missing) {
  writeFile(u"song.rpp",
            "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\n<ITEM\n<SOURCE WAVE\nFILE \"Gone/a.wav\"\n>\n>\n"
            "<ITEM\n<SOURCE WAVE\nFILE \"Gone\\\\b.wav\"\n>\n>\n<ITEM\n<SOURCE WAVE\nFILE \"Here/c.wav\"\n>\n>\n"
            "<ITEM\n<SOURCE WAVE\nFILE \"Here/d.wav\"\n>\n>\n<ITEM\n<SOURCE WAVE\nFILE \"e.wav\"\n>\n>\n>\n>\n");
  ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::path(path(u"Here"))));
  writeFile(u"Here/c.wav", "RIFF");
  writeFile(u"e.wav", "RIFF");
  ProjectFileResult r = inventoryProjectFile(path(u"song.rpp"), nullptr);
  ASSERT_EQ(r.reason, "");
  std::vector<bool> exists;
  for (const MediaReference& m : Replay(r.inventory).media) exists.push_back(m.exists);
  EXPECT_EQ(exists, (std::vector<bool>{false, false, true, false, true}));
}

namespace {

// What a folder holds, by name.
std::vector<Text> Entries(TextView folder) {
  std::vector<FolderEntry> entries;
  EXPECT_TRUE(ListFolder(folder, entries));
  std::vector<Text> names;
  for (const FolderEntry& e : entries) names.push_back(e.name);
  return names;
}

// POSIX scratch files never show a name; on Windows one is there while open.
bool NamelessWhileOpen() { return FolderSeparator() == u'/'; }

}  // namespace

using scratch_file = TempFolder;

TEST_F(scratch_file, gives_back_every_byte_in_order_and_leaves_nothing_behind) {
  std::string written;
  {
    ScratchFile file;
    ASSERT_TRUE(file.create(folder()));
    std::mt19937 random(7);
    // Pieces small and large, some larger than the buffer, some filling it exactly.
    for (std::size_t size : {std::size_t{1}, std::size_t{65535}, std::size_t{2}, std::size_t{65536},
                             std::size_t{200000}, std::size_t{0}, std::size_t{3000}}) {
      std::string piece(size, '\0');
      for (char& c : piece) c = static_cast<char>(random());
      EXPECT_TRUE(file.write(piece));
      written += piece;
    }
    if (NamelessWhileOpen()) {
      EXPECT_TRUE(Entries(folder()).empty());
    }
    std::string copied;
    std::size_t largest = 0;
    SinkOf collecting([&](std::string_view piece) {
      largest = std::max(largest, piece.size());
      copied += piece;
      return true;
    });
    ASSERT_TRUE(file.copyTo(collecting));
    EXPECT_EQ(copied, written);
    EXPECT_LE(largest, std::size_t{65536});
    // More bytes go after what was there, and a second copy has them all.
    EXPECT_TRUE(file.write("tail"));
    written += "tail";
    copied.clear();
    ASSERT_TRUE(file.copyTo(collecting));
    EXPECT_EQ(copied, written);
    EXPECT_EQ(file.size(), written.size());
    // A sink that refuses stops the copy; that is the sink's failure, not the file's.
    int calls = 0;
    SinkOf refusing([&](std::string_view) { return ++calls > 1; });
    EXPECT_FALSE(file.copyTo(refusing));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(file.failureReason(), u"");
  }
  EXPECT_TRUE(Entries(folder()).empty());
}

TEST_F(scratch_file, a_folder_that_cannot_hold_it_is_a_failure_with_the_systems_reason) {
  ScratchFile file;
  EXPECT_FALSE(file.create(path(u"no-such-folder")));
  EXPECT_NE(file.failureReason(), u"");
  EXPECT_FALSE(file.write("x"));
  SinkOf taking([](std::string_view) { return true; });
  EXPECT_FALSE(file.copyTo(taking));
  // The system's folder for temporary files when none is named.
  ScratchFile fallback;
  EXPECT_TRUE(fallback.create(u""));
}

TEST_F(scratch_file, writers_set_parts_aside_without_a_trace_whether_the_output_succeeds_or_fails) {
  ProjectInventory plain = Inventory(kPlain);
  for (InventoryFormat format : {InventoryFormat::Html, InventoryFormat::Json, InventoryFormat::Csv}) {
    for (bool refuse : {false, true}) {
      std::string bytes;
      SinkOf sink([&](std::string_view piece) {
        if (refuse) return false;
        bytes += piece;
        return true;
      });
      ArchiveTotals totals;
      {
        const std::unique_ptr<InventoryWriter> writer = makeInventoryWriter(format, std::nullopt, sink);
        ASSERT_TRUE(writer->open(folder()));
        // Enough projects that the parts set aside outgrow every buffer.
        for (int n = 0; n < 400; ++n) {
          const std::string path = "/songs/" + std::to_string(1000 + n) + ".rpp";
          totals.addProject(plain);
          // CSV goes straight to the sink, which may refuse at once.
          if (!writer->addProject({path, plain})) {
            EXPECT_TRUE(refuse && format == InventoryFormat::Csv);
          }
        }
        if (NamelessWhileOpen()) {
          EXPECT_TRUE(Entries(folder()).empty());
        }
        totals.finish();
        EXPECT_EQ(writer->finish(totals), !refuse);
      }
      EXPECT_TRUE(Entries(folder()).empty()) << static_cast<int>(format) << refuse;
      if (refuse) continue;
      // Every project once, in the order handed over, the last one whole.
      const std::string first = "/songs/1000.rpp", last = "/songs/1399.rpp";
      EXPECT_LT(bytes.find(first), bytes.find(last));
      if (format == InventoryFormat::Json) {
        EXPECT_NE(bytes.find(R"({"path": "/songs/1399.rpp")"), std::string::npos);
        EXPECT_TRUE(bytes.ends_with("\n  \"errors\": []\n}\n"));
      } else if (format == InventoryFormat::Html) {
        EXPECT_NE(bytes.find("<details id=\"p400\"><summary>/songs/1399.rpp"), std::string::npos);
        EXPECT_TRUE(bytes.ends_with("</script>\n</body>\n</html>\n"));
      } else {
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 1 + 400 * 2);
      }
    }
  }
}

TEST_F(scratch_file, a_spill_buffer_moves_to_a_file_past_its_limit_and_reads_back_in_any_pieces) {
  std::mt19937 random(11);
  for (std::size_t limit : {std::size_t{0}, std::size_t{100}, std::size_t{1} << 20}) {
    SpillBuffer buffer(folder(), limit);
    std::string written;
    for (std::size_t size : {1, 99, 2, 70000, 0, 150000, 5}) {
      std::string piece(size, '\0');
      for (char& c : piece) c = static_cast<char>(random());
      EXPECT_TRUE(buffer.write(piece));
      written += piece;
    }
    EXPECT_EQ(buffer.spilled(), limit < written.size()) << limit;
    EXPECT_EQ(buffer.size(), written.size());
    for (int pass = 0; pass < 2; ++pass) {  // as often as needed
      SpillBuffer::Reader reader(buffer);
      std::string back;
      // Pieces of every size, within the read-ahead and beyond it.
      for (std::size_t n = 1; !reader.atEnd(); n = n * 3 % 200003 + 1) {
        std::string piece(std::min(n, written.size() - back.size()), '\0');
        ASSERT_TRUE(reader.read(piece.data(), piece.size())) << limit << " at " << back.size();
        back += piece;
      }
      EXPECT_TRUE(back == written) << limit;
      char past;
      EXPECT_FALSE(reader.read(&past, 1));
    }
    if (NamelessWhileOpen()) {
      EXPECT_TRUE(Entries(folder()).empty());
    }
  }
  EXPECT_TRUE(Entries(folder()).empty());
  SpillBuffer nowhere(path(u"no-such-folder"), 10);
  EXPECT_TRUE(nowhere.write("0123456789"));  // still in memory
  EXPECT_FALSE(nowhere.write("x"));
  EXPECT_TRUE(nowhere.failed());
  EXPECT_NE(nowhere.failureReason(), u"");
}

TEST_F(scratch_file, instances_that_could_not_be_set_aside_fail_the_writer_with_the_reason) {
  StringSource source(BigProject());
  BlockReader reader(source);
  ProjectChecks none;
  ProjectInventory p = readProjectInventory(reader, none, path(u"no-such-folder"));
  ASSERT_TRUE(p.failed());
  ASSERT_NE(p.failureReason(), u"");
  for (InventoryFormat format : {InventoryFormat::Html, InventoryFormat::Json, InventoryFormat::Csv}) {
    std::string bytes;
    SinkOf sink([&](std::string_view piece) {
      bytes += piece;
      return true;
    });
    ArchiveTotals totals;
    totals.finish();
    const std::unique_ptr<InventoryWriter> writer = makeInventoryWriter(format, std::nullopt, sink);
    ASSERT_TRUE(writer->open(folder()));
    EXPECT_FALSE(writer->addProject({"/big.rpp", p})) << static_cast<int>(format);
    EXPECT_EQ(writer->failureReason(), p.failureReason());
    EXPECT_FALSE(writer->finish(totals));
  }
}

TEST(archive_inventory, long_texts_reach_every_output_whole_and_escaped) {
  // Longer than the writers' buffers, with characters to escape at every
  // place a piece could end; a plain one goes past the buffer unchanged.
  std::string odd;
  for (int i = 0; i < 40000; ++i) odd += "a\"<&'\\\tz";
  const std::string plain(300000, 'x');
  ProjectInventory p = Inventory("<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\nNAME `" + odd +
                                 "`\n<FXCHAIN\nBYPASS 0 0 0\n<JS a/b \"\"\n>\nPRESETNAME " + plain + "\n>\n>\n>\n");
  auto replaced = [](std::string text, std::vector<std::pair<char, std::string>> escapes) {
    std::string out;
    for (char c : text) {
      auto e = std::find_if(escapes.begin(), escapes.end(), [&](const auto& x) { return x.first == c; });
      if (e == escapes.end()) out.push_back(c);
      else out += e->second;
    }
    return out;
  };
  const std::string expected[] = {
      replaced(odd, {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&#39;"}}),
      replaced(odd, {{'"', "\\\""}, {'\\', "\\\\"}, {'\t', "\\t"}}),
      "\"" + replaced(odd, {{'"', "\"\""}}) + "\"",
  };
  const InventoryFormat formats[] = {InventoryFormat::Html, InventoryFormat::Json, InventoryFormat::Csv};
  for (int f = 0; f < 3; ++f) {
    std::string bytes;
    SinkOf sink([&](std::string_view piece) {
      bytes += piece;
      return true;
    });
    ArchiveTotals totals;
    totals.addProject(p);
    totals.finish();
    const std::unique_ptr<InventoryWriter> writer = makeInventoryWriter(formats[f], std::nullopt, sink);
    ASSERT_TRUE(writer->open(u""));
    ASSERT_TRUE(writer->addProject({"/p.rpp", p}));
    ASSERT_TRUE(writer->finish(totals));
    EXPECT_NE(bytes.find(expected[f]), std::string::npos) << f;
    EXPECT_NE(bytes.find(plain), std::string::npos) << f;
  }
}

TEST(archive_inventory, reading_in_order_hands_each_batch_to_one_thread_and_wakes_no_more_than_have_work) {
  constexpr std::size_t kCount = 203, kBatch = 4, kWindow = 16;
  std::vector<std::thread::id> readBy(kCount);
  std::vector<int> reads(kCount, 0);
  std::atomic<int> reading{0}, mostAtOnce{0};
  std::vector<std::size_t> order;
  InOrderReading in;
  in.count = kCount;
  in.jobs = 64;
  in.batch = kBatch;
  in.window = kWindow;
  in.read = [&](std::size_t i) {
    const int now = ++reading;
    for (int most = mostAtOnce.load(); now > most && !mostAtOnce.compare_exchange_weak(most, now);) {
    }
    ++reads[i];
    readBy[i] = std::this_thread::get_id();
    std::this_thread::yield();
    --reading;
    return ProjectFileResult();
  };
  in.deliver = [&](std::size_t i, ProjectFileResult&) {
    order.push_back(i);
    return true;
  };
  EXPECT_TRUE(readInOrder(in));
  ASSERT_EQ(order.size(), kCount);
  for (std::size_t i = 0; i < kCount; ++i) {
    EXPECT_EQ(order[i], i);
    EXPECT_EQ(reads[i], 1) << i;
    EXPECT_EQ(readBy[i], readBy[i - i % kBatch]) << i;  // the batch's first project's thread
  }
  // However many threads were asked for, no more read at once than the
  // batches the window holds, and the one whose first results are handed over.
  EXPECT_LE(mostAtOnce.load(), static_cast<int>(kWindow / kBatch + 1));
}

using plugin_cache_files = TempFolder;

TEST_F(plugin_cache_files, a_cache_that_cannot_be_used_is_named_with_why_and_never_makes_a_plugin_missing) {
  using namespace std::string_literals;
  {
    // A good cache past the 64 MiB the whole file once had to fit in: lines
    // of 1,000,000 bytes list nothing, the last one the plug-in.
    std::ofstream good(std::filesystem::path(path(u"reaper-vstplugins.ini")), std::ios::binary);
    good << "[vstcache]\n";
    for (int i = 0; i < 66; ++i) good << std::string(1000000, ';') << "\r\n";
    good << "found.dll=00,11,Found\n";
  }
  struct Case {
    const char* what;
    std::string bytes;
    std::string problem;
  } cases[] = {
      {"NUL bytes", "[vstcache]\nother.dll=00,5,Other\n\0\0\0\n"s, "not a text file (it holds a NUL byte)"},
      {"control characters", "[vstcache]\nother.dll=00,5,Other\n\x01\x02\n", "not a text file (it holds control characters)"},
      {"a line over 1 MiB", "[vstcache]\nother.dll=00,5,Other\n" + std::string((1 << 20) + 1, 'x') + "\n",
       "not a plug-in cache (a line is longer than 1 MiB)"},
  };
  PluginInstance found, other;
  found.format = other.format = FxFormat::Vst2;
  found.file = "found.dll";
  other.file = "other.dll";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(u"reaper-vstplugins64.ini", c.bytes);
    PluginCaches caches;
    ASSERT_TRUE(caches.loadFolder(folder()));
    ASSERT_EQ(caches.files().size(), 2u);
    EXPECT_EQ(caches.files()[0].problem, "");
    EXPECT_EQ(caches.files()[0].entries, 1u);
    EXPECT_EQ(caches.files()[1].problem, c.problem);
    EXPECT_EQ(caches.statusOf(found), InstallStatus::Installed);
    EXPECT_EQ(caches.statusOf(other), InstallStatus::Unknown);  // only the broken cache could have listed it
  }
  // What is not a regular file is never opened, nor read as a cache.
  std::filesystem::remove(std::filesystem::path(path(u"reaper-vstplugins64.ini")));
  std::filesystem::create_directory(std::filesystem::path(path(u"reaper-clap-x64.ini")));
  std::vector<std::string> expected = {"is a folder", ""};
#ifndef _WIN32
  ASSERT_EQ(::mkfifo(TextToUtf8(path(u"reaper-jsfx.ini")).c_str(), 0644), 0);
  expected = {"is a folder", "not a regular file", ""};
#endif
  PluginCaches caches;
  ASSERT_TRUE(caches.loadFolder(folder()));
  std::vector<std::string> problems;
  for (const CacheFile& c : caches.files()) problems.push_back(c.problem);
  EXPECT_EQ(problems, expected);
  PluginInstance clap;
  clap.format = FxFormat::Clap;
  clap.id = "com.x";
  EXPECT_EQ(caches.statusOf(clap), InstallStatus::Unknown);
}

TEST(archive_inventory, csv_cells_a_spreadsheet_would_run_start_with_a_quote_and_json_stays_exact) {
  std::string csv, json;
  for (std::string* bytes : {&csv, &json}) {
    ProjectInventory p = Inventory(
        "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\nNAME \"=HYPERLINK(1)\"\n<FXCHAIN\nBYPASS 0 0 0\n"
        "<VST \"VST: +x (@vendor)\" -a.dll 0 \"\" 1\n>\nPRESETNAME \"\tpad\"\n>\n>\n>\n");
    SinkOf sink([bytes](std::string_view piece) { return bytes->append(piece), true; });
    const auto writer = makeInventoryWriter(bytes == &csv ? InventoryFormat::Csv : InventoryFormat::Json, {}, sink);
    ArchiveTotals totals;
    totals.addProject(p);
    totals.finish();
    ASSERT_TRUE(writer->open(u"") && writer->addProject({"/a/-p.rpp", p}) && writer->finish(totals));
  }
  EXPECT_EQ(csv.substr(csv.find("\r\n") + 2),
            "/a/-p.rpp,track,1,'=HYPERLINK(1),,VST2,effect,'+x,'@vendor,'-a.dll,1,online,'\tpad,unknown,,7.0,x64,unknown\r\n");
  EXPECT_NE(json.find(R"x("track_name": "=HYPERLINK(1)")x"), std::string::npos);
  EXPECT_NE(json.find(R"("name": "+x", "vendor": "@vendor", "file": "-a.dll")"), std::string::npos);
}
