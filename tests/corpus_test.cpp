// Real projects from public repositories: every one loads, scans and exports,
// a few are checked field by field against what their files say, and every
// report matches the one kept beside the tests (the same on every platform).
#include "core/loader.h"
#include "report/export.h"
#include "runtime/numbered_file.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/golden.h"
#include "support/temp_folder.h"

namespace {

std::string U8(TextView text) { return TextToUtf8(text); }

class corpus : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    QUORVEL_SKIP_WITHOUT_CORPUS();
  }
  void TearDown() override {
    CloseAllNumberedFiles();
    TempFolder::TearDown();
  }
  void load(std::string_view name) { ASSERT_EQ(loadProjectFile(project, CorpusFile(name)).result, LoadResult::Loaded); }
  static std::string describe(const PluginRecord& p) {
    return U8(p.state + u"|" + p.kind + u"|" + p.name + u"|" + p.presetName);
  }
  ProjectData project;
};

}  // namespace

TEST_F(corpus, every_project_loads_and_exports_as_expected) {
  const std::vector<Text> files = CorpusFiles();
  ASSERT_GE(files.size(), 40u);
  int compared = 0;
  for (const Text& file : files) {
    SCOPED_TRACE(U8(file));
    ASSERT_EQ(loadProjectFile(project, file).result, LoadResult::Loaded);
    EXPECT_GT(project.lineCount(), 0);
    EXPECT_FALSE(project.info.reaperVersion.empty());
    // Fix what depends on where and when the corpus was copied.
    project.info.projectFolder = u"C:\\Music\\";
    project.info.projectDate = u"17/07/2025 09:05";
    ASSERT_EQ(exportReport(project, folder()), ExportResult::Written);
    const std::string report = ReadBytes(path(project.info.projectName + u".html"));
    const std::string golden = "corpus-reports/" + U8(project.info.projectName) + ".html";
    if (!FileExists(TestData(golden)) && !UpdatingGoldenFiles()) continue;  // a project added to the corpus later
    EXPECT_TRUE(MatchesGolden(golden, report));
    ++compared;
  }
  EXPECT_GE(compared, 40);
}

TEST_F(corpus, mute_and_solo_project) {
  load("28-win64-678-mute-solo.rpp");
  EXPECT_EQ(U8(project.info.reaperVersion + u" " + project.info.reaperPlatform), "6.78 win64");
  EXPECT_EQ(project.info.tempo, 120);
  EXPECT_EQ(U8(project.master.fxState), "online");
  EXPECT_TRUE(project.master.plugins.empty());
  ASSERT_EQ(project.tracks.size(), 5u);
  const TrackRecord& first = project.tracks[0];
  EXPECT_EQ(U8(first.name), "pk");
  EXPECT_EQ(first.volume, 0.59770560311481f);
  EXPECT_EQ(U8(first.mute + u"/" + first.solo), "OFF/ON");
  ASSERT_GE(first.plugins.size(), 2u);
  EXPECT_EQ(describe(first.plugins[0]), "online|VST2 effect|ReaDelay (Cockos)|stock - basic 5 tap ping pong");
  EXPECT_EQ(describe(first.plugins[1]), "online|||");  // a JS effect keeps its place
  EXPECT_EQ(U8(project.tracks[1].mute + u"/" + project.tracks[1].solo), "ON/OFF");
  EXPECT_EQ(U8(project.tracks[2].name), "\"\"");
  EXPECT_EQ(project.tracks[2].volume, 0.49866990604774f);
}

TEST_F(corpus, reaper4_project_with_a_master_chain) {
  load("02-reaper452-no-platform-master-fx.rpp");
  EXPECT_EQ(U8(project.info.reaperVersion), "4.52");
  EXPECT_EQ(U8(project.info.reaperPlatform), "");
  EXPECT_EQ(project.master.volume, 0.06046072135896f);
  ASSERT_EQ(project.master.plugins.size(), 6u);
  const auto& m = project.master.plugins;
  EXPECT_EQ(describe(m[0]), "bypass|VST2 effect|Stereo Tool (Flux:: sound and picture development)|");
  EXPECT_EQ(describe(m[2]), "bypass|VST2 effect|Bitutils (jhl) (8ch)|");
  EXPECT_EQ(describe(m[3]), "online|VST2 effect|iZotope Insight (iZotope, Inc.) (6ch)|");
  EXPECT_EQ(describe(m[4]), "bypass|||");
  EXPECT_EQ(describe(m[5]), "bypass|VST2 effect|MashTactic (QuikQuak)|");
  ASSERT_EQ(project.tracks.size(), 5u);
  EXPECT_EQ(U8(project.tracks[3].name), "\"Beyer51-32k-SR\"");
  EXPECT_EQ(project.tracks[3].volume, 0.88774325172210f);
  const auto& chain = project.tracks[4].plugins;
  ASSERT_GE(chain.size(), 5u);
  EXPECT_EQ(describe(chain[0]), "online|VST2 effect|mcfx_filter4 (kronlachner) (4ch)|");
  EXPECT_EQ(describe(chain[3]), "bypass|||");
  EXPECT_EQ(describe(chain[4]), "online|VST2 effect|NUGEN Monofilter4 (Nugen Audio)|");
}

TEST_F(corpus, master_chain_of_vst2_and_vst3) {
  load("30-win64-702-master-vst-vst3.rpp");
  EXPECT_EQ(project.info.tempo, 160);
  EXPECT_EQ(project.tracks.size(), 7u);
  ASSERT_EQ(project.master.plugins.size(), 3u);
  EXPECT_EQ(describe(project.master.plugins[0]), "online|VST2 effect|iZotope Ozone 7 Equalizer (iZotope, Inc.)|Default");
  EXPECT_EQ(describe(project.master.plugins[2]), "online|VST3 effect|iZotope Ozone 7 Maximizer (iZotope, Inc.)|");
}

TEST_F(corpus, utf8_projects_without_a_mark_keep_their_characters) {
  load("11-x64-603-japanese-item-name.rpp");
  bool found = false;
  for (std::int64_t i = 0; i < project.lineCount(); ++i)
    if (U8(project.lines.at(i)).find("\u7121\u984c\u306eMIDI\u30a2\u30a4\u30c6\u30e0") != std::string::npos) found = true;
  EXPECT_TRUE(found);
}
