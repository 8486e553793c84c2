#include "core/archive_totals.h"
#include "core/block_reader.h"
#include "core/plugin_caches.h"
#include "core/project_inventory.h"
#include "report/inventory_output.h"
#include "support/string_source.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Checks a project's plug-ins against caches, as the command does.
struct CacheChecks : ProjectChecks {
  explicit CacheChecks(const PluginCaches& c) : caches(c) {}
  void checkPlugin(PluginInstance& p) override { p.status = caches.statusOf(p); }
  const PluginCaches& caches;
};

ProjectInventory Read(const std::string& text, const PluginCaches& caches) {
  StringSource source(text);
  BlockReader reader(source);
  CacheChecks checks(caches);
  return readProjectInventory(reader, checks);
}

std::string Chain(const std::string& lines) { return "<FXCHAIN\n" + lines + ">\n"; }
std::string Vst(const std::string& label, const std::string& file, const std::string& id) {
  return "BYPASS 0 0 0\n<VST \"" + label + "\" \"" + file + "\" 0 \"\" " + id + "\n>\n";
}

const std::string kCache =
    "[vstcache]\n"
    "reaeq.vst.so=00,1919247729,ReaEQ (Cockos)\n"
    "Tape_(64_Bit).dll=00,555,Tape (Old Co)\n"
    "FabFilter_Pro_Q_3.vst3=00,756089518{72C4DB717A4D459AB97E51745D84B39D,Pro-Q 3 (FabFilter)\n"
    "Diva.vst3=00,1,Diva (u-he)!!!VSTi\n";

PluginCaches Caches() {
  PluginCaches caches;
  caches.addVstCache(kCache);
  caches.addClapCache("[surge-xt.clap]\n_=00\norg.surge-synth-team.surge-xt=1|Surge XT (Surge Synth Team)\n");
  caches.addAuCache("[auplugins]\nITSR: StudioLink=<!inst>\n");
  return caches;
}

// Two projects: ReaEQ from three binaries, once on the master, a VST2 whose
// VST3 and whose AU are installed, and a plug-in whose id differs.
const std::string kFirst = "<REAPER_PROJECT 0.1 \"6.0/win64\"\n<MASTERFXLIST\n" +
                           Vst("VST: ReaEQ (Cockos)", "reaeq.dll", "1919247729") + ">\n<TRACK\n" +
                           Chain(Vst("VST: ReaEQ (Cockos)", "reaeq.vst.so", "1919247729")) + ">\n<TRACK\n>\n<TRACK\n" +
                           "<ITEM\n<TAKEFX\n" + Vst("VST: ReaEQ (Cockos)", "reaeq.dll", "1919247729") + ">\n>\n" +
                           Chain(Vst("VST: Pro-Q 3 (FabFilter)", "FabFilter Pro-Q 3.dll", "1234") +
                                 Vst("VST: StudioLink (ITSR)", "StudioLink.dll", "77")) +
                           ">\n>\n";
const std::string kSecond = "<REAPER_PROJECT 0.1 \"4.0/OSX\"\n<TRACK\n>\n<TRACK\n" +
                            Chain(Vst("VST: ReaEQ (Cockos)", "reaeq.vst.dylib", "") +
                                  Vst("VST: Tape (Old Co)", "Tape.vst", "") + Vst("VST: Tape (Old Co)", "Tape.vst", "")) +
                            Chain(Vst("VST: ReaEQ (Cockos)", "reaeq.vst.dylib", "")) + ">\n";

struct Archive {
  PluginCaches caches = Caches();
  ArchiveTotals totals;
  ProjectInventory first, second;
  Archive() {
    first = Read(kFirst, caches);
    second = Read(kSecond, caches);
    totals.addProject(first, "/a.rpp");
    totals.addProject(second, "/b.rpp");
    totals.finish(&caches);
  }
  const ArchivePlugin* plugin(std::string_view name, std::size_t* index = nullptr) const {
    for (std::size_t k = 0; k < totals.plugins().size(); ++k) {
      if (totals.plugins()[k].name != name) continue;
      if (index != nullptr) *index = k;
      return &totals.plugins()[k];
    }
    return nullptr;
  }
};

}  // namespace

TEST(plugin_caches, a_vst_line_without_an_id_matches_by_base_name_on_any_system) {
  struct Case {
    const char* file;
    const char* id;
    InstallStatus expected;
  };
  const Case cases[] = {
      {"reaeq.dll", "", InstallStatus::Installed},              // reaeq.vst.so in the cache
      {"reaeq.vst.dylib", "0", InstallStatus::Installed},       // an id of 0 is none
      {"C:\\Plugins\\ReaEQ.DLL", "", InstallStatus::Installed}, // folders and letter case do not count
      {"Tape.vst", "", InstallStatus::Installed},               // Tape (64 Bit).dll built for macOS
      {"tape (32 Bit).so", "", InstallStatus::Installed},
      {"reacomp.dll", "", InstallStatus::Missing},              // no binary of that name
      {"reaeq.dll", "42", InstallStatus::Missing},              // an id goes first: 42 is not installed
      {"reaeq2.dll", "", InstallStatus::Missing},
  };
  const PluginCaches caches = Caches();
  for (const Case& c : cases) {
    PluginInstance p;
    p.format = FxFormat::Vst2;
    p.file = c.file;
    p.id = c.id;
    EXPECT_EQ(caches.statusOf(p), c.expected) << c.file << " " << c.id;
  }
  EXPECT_EQ(vstBaseName("X (64 Bit).dll"), vstBaseName("X.vst"));
  EXPECT_EQ(vstBaseName("reaeq.vst.so"), "reaeq");
  EXPECT_EQ(vstBaseName("Plug.vst3"), "plug.vst3");  // VST3 files are the same everywhere
}

TEST(plugin_caches, the_same_plugin_in_another_format_and_an_id_that_differs) {
  const PluginCaches caches = Caches();
  using Found = std::vector<InstalledPlugin>;
  EXPECT_EQ(caches.installedAs("Pro-Q 3", "FabFilter", FxFormat::Vst2),
            (Found{{FxFormat::Vst3, "FabFilter_Pro_Q_3.vst3"}}));
  EXPECT_EQ(caches.installedAs("pro-q 3", "fabfilter", FxFormat::Vst3), Found{});  // only its own format
  EXPECT_EQ(caches.installedAs("Diva", "u-he", FxFormat::Clap), (Found{{FxFormat::Vst3, "Diva.vst3"}}));
  EXPECT_EQ(caches.installedAs("Surge XT", "Surge Synth Team", FxFormat::Vst3),
            (Found{{FxFormat::Clap, "surge-xt.clap"}}));
  EXPECT_EQ(caches.installedAs("StudioLink", "ITSR", FxFormat::Vst2), (Found{{FxFormat::Au, ""}}));
  EXPECT_EQ(caches.installedAs("StudioLink", "Other", FxFormat::Vst2), Found{});
  EXPECT_EQ(caches.idWarning(FxFormat::Vst2, {"reaeq.vst.so"}, {"1"}),
            "unique id differs from the installed one (1 vs 1919247729)");
  EXPECT_EQ(caches.idWarning(FxFormat::Vst2, {"reaeq.vst.so"}, {"1", "1919247729"}), "");
  EXPECT_EQ(caches.idWarning(FxFormat::Vst2, {"reaeq.vst.so"}, {}), "");
  EXPECT_EQ(caches.idWarning(FxFormat::Vst3, {"reaeq.vst.so"}, {"1"}), "");
}

TEST(archive_inventory, one_row_per_plugin_across_binaries_lists_the_projects_that_use_it) {
  const Archive a;
  std::size_t index = 0;
  const ArchivePlugin* reaeq = a.plugin("ReaEQ", &index);
  ASSERT_NE(reaeq, nullptr);
  EXPECT_EQ(reaeq->files, (std::vector<std::string>{"reaeq.dll", "reaeq.vst.dylib", "reaeq.vst.so"}));
  EXPECT_EQ(reaeq->ids, std::vector<std::string>{"1919247729"});
  EXPECT_EQ(reaeq->file, "reaeq.dll");  // the first met
  EXPECT_EQ(reaeq->status, InstallStatus::Installed);
  EXPECT_EQ(reaeq->projects, 2u);
  EXPECT_EQ(reaeq->instances, 5u);
  // Two binaries in one project are one use; the take FX counts for its track.
  const ArchiveTotals::Uses uses = a.totals.usedBy(index);
  ASSERT_EQ(uses.size(), 2u);
  EXPECT_EQ(a.totals.projectPath(uses[0].project), "/a.rpp");
  EXPECT_EQ(uses[0].instances, 3u);
  EXPECT_EQ(a.totals.tracksOf(uses[0]), (std::vector<std::int32_t>{0, 1, 3}));
  EXPECT_EQ(a.totals.projectPath(uses[1].project), "/b.rpp");
  EXPECT_EQ(uses[1].instances, 2u);
  EXPECT_EQ(a.totals.tracksOf(uses[1]), std::vector<std::int32_t>{2});
  // Missing, but installed in another format; installed with another id.
  const ArchivePlugin* proQ = a.plugin("Pro-Q 3");
  ASSERT_NE(proQ, nullptr);
  EXPECT_EQ(proQ->status, InstallStatus::Missing);
  EXPECT_EQ(proQ->installedAs, (std::vector<InstalledPlugin>{{FxFormat::Vst3, "FabFilter_Pro_Q_3.vst3"}}));
  EXPECT_EQ(a.plugin("Tape")->status, InstallStatus::Installed);
  EXPECT_EQ(a.plugin("Tape")->warning, "");
  EXPECT_EQ(a.totals.missingPlugins(), 2u);  // Pro-Q 3 and StudioLink: distinct plug-ins
  EXPECT_EQ(a.first.missingPlugins, 2u);
  EXPECT_EQ(a.totals.unknownPlugins(), 0u);
}

TEST(archive_inventory, the_outputs_show_who_uses_a_plugin_and_when_the_inventory_was_made) {
  auto written = [](InventoryFormat format, std::optional<std::string> resources) {
    Archive a;
    std::string bytes;
    SinkOf sink([&](std::string_view piece) {
      bytes += piece;
      return true;
    });
    const auto writer = makeInventoryWriter(format, resources, sink, {"2026-05-01T12:00:00Z", "9.8.7"});
    EXPECT_TRUE(writer->open(u""));
    EXPECT_TRUE(writer->addProject({"/a.rpp", a.first}));
    EXPECT_TRUE(writer->addProject({"/b.rpp", a.second}));
    EXPECT_TRUE(writer->finish(a.totals));
    return bytes;
  };
  const std::string json = written(InventoryFormat::Json, "/res");
  EXPECT_EQ(json.rfind("{\n  \"generated\": \"2026-05-01T12:00:00Z\",\n  \"version\": \"9.8.7\",\n", 0), 0u);
  EXPECT_NE(json.find("\"files\": [\"reaeq.dll\", \"reaeq.vst.dylib\", \"reaeq.vst.so\"], \"ids\": [\"1919247729\"], "
                      "\"installed_as\": [], \"warning\": null,\n     \"used_by\": [\n"
                      "      {\"path\": \"/a.rpp\", \"instances\": 3, \"tracks\": [0, 1, 3]},\n"
                      "      {\"path\": \"/b.rpp\", \"instances\": 2, \"tracks\": [2]}\n     ]}"),
            std::string::npos);
  EXPECT_NE(json.find("\"installed_as\": [{\"format\": \"VST3\", \"file\": \"FabFilter_Pro_Q_3.vst3\"}]"),
            std::string::npos);
  EXPECT_NE(json.find("\"missing_plugins\": 2, \"unknown_plugins\": 0,"), std::string::npos);
  EXPECT_NE(json.find("\"tracks\": 3, \"missing_plugins\": 2,"), std::string::npos);  // distinct, in the project
  const std::string html = written(InventoryFormat::Html, "/res");
  EXPECT_NE(html.find("Made 2026-05-01T12:00:00Z by quorvel-inventory 9.8.7."), std::string::npos);
  EXPECT_NE(html.find("<li><a href=\"#p1\">/a.rpp</a> <span class=\"small\">3 instances: master, tracks 1, 3</span>"),
            std::string::npos);
  EXPECT_NE(html.find("<li><a href=\"#p2\">/b.rpp</a> <span class=\"small\">2 instances: track 2</span>"),
            std::string::npos);
  EXPECT_NE(html.find("<span class=\"key\">VST3 installed (FabFilter_Pro_Q_3.vst3)</span>"), std::string::npos);
  EXPECT_NE(html.find("<tr data-find=\"ReaEQ Pro-Q 3 StudioLink \" data-missing=\"1\"><td><a href=\"#p1\">"), std::string::npos);
  EXPECT_NE(html.find("<b>2</b><span>missing plug-ins</span>"), std::string::npos);
  EXPECT_NE(html.find("/a.rpp <span class=\"badge incomplete\">incomplete</span> <span class=\"small\">(5 instances, 0 "
                      "media files)</span>"),
            std::string::npos);
  const std::string unchecked = written(InventoryFormat::Html, std::nullopt);
  EXPECT_NE(unchecked.find("<b>not checked</b><span>missing plug-ins</span>"), std::string::npos);
}
