// Whether each project opens here, where its missing media went, and the
// tables that say so.
#include "core/archive_totals.h"
#include "core/backup_owners.h"
#include "core/block_reader.h"
#include "core/media_search.h"
#include "core/missing_media_list.h"
#include "core/plugin_caches.h"
#include "core/project_file_inventory.h"
#include "report/inventory_output.h"
#include "runtime/path_text.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/string_source.h"
#include "support/temp_folder.h"

#include <cstring>
#include <filesystem>
#include <map>

namespace {

// Plug-ins by the first letter of their file: m missing, u unknown, else
// installed; every media file is missing.
struct LetterChecks : ProjectChecks {
  void checkPlugin(PluginInstance& p) override {
    const char c = p.file.empty() ? 'i' : p.file[0];
    p.status = c == 'm' ? InstallStatus::Missing : c == 'u' ? InstallStatus::Unknown : InstallStatus::Installed;
  }
  std::string findByName(std::string_view written) override { return "/found/" + std::string(written); }
};

// A project of one track whose chain holds `chain` (BYPASS lines and plug-ins).
std::string Project(std::string_view chain, std::string_view media = {}) {
  std::string p = "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\n<FXCHAIN\n" + std::string(chain) + ">\n";
  if (!media.empty()) p += "<ITEM\n<SOURCE WAVE\nFILE \"" + std::string(media) + "\"\n>\n>\n";
  return p + ">\n>\n";
}

std::string Vst(std::string_view file, int bypass = 0, int offline = 0) {
  return "BYPASS " + std::to_string(bypass) + " " + std::to_string(offline) + " 0\n<VST \"VST: " + std::string(file) +
         "\" " + std::string(file) + " 0 \"\" 1\n>\n";
}

ProjectInventory Read(const std::string& bytes) {
  StringSource source(bytes);
  BlockReader reader(source);
  LetterChecks checks;
  return readProjectInventory(reader, checks);
}

}  // namespace

TEST(project_status, follows_the_precedence_of_incomplete_unknown_plays_complete) {
  const std::string frozen = "<FREEZE 1\n<FXCHAIN\n" + Vst("m2.dll") + ">\n>\n";
  struct Case {
    std::string chain, media, status;
    std::uint32_t toPlay, toEdit;
  } cases[] = {
      {Vst("a.dll"), "", "complete", 0, 0},
      {Vst("m.dll"), "", "incomplete", 1, 0},
      {Vst("m.dll", 1), "", "incomplete", 1, 0},            // bypassed: still loaded
      {Vst("m.dll", 0, 1), "", "plays", 0, 1},              // offline: not loaded
      {Vst("m.dll", 0, 1) + Vst("m.dll"), "", "incomplete", 1, 0},  // one instance online is enough
      {Vst("a.dll"), "gone.wav", "incomplete", 0, 0},        // a missing media file, even found by name
      {Vst("u.dll"), "", "unknown", 0, 0},
      {Vst("u.dll") + Vst("m.dll", 0, 1), "", "unknown", 0, 1},
      {Vst("u.dll", 0, 1) + Vst("m.dll", 0, 1), "", "plays", 0, 1},  // an unknown offline one does not count
      {Vst("u.dll", 0, 1), "", "complete", 0, 0},
      {Vst("u.dll") + Vst("m.dll"), "", "incomplete", 1, 0},
      {"", "", "complete", 0, 0},
  };
  for (const Case& c : cases) {
    const ProjectInventory p = Read(Project(c.chain, c.media));
    EXPECT_EQ(projectStatusWord(p.status), c.status) << c.chain << c.media;
    EXPECT_EQ(p.missingToPlay, c.toPlay) << c.chain;
    EXPECT_EQ(p.missingToEdit, c.toEdit) << c.chain;
  }
  // The chains a frozen track keeps are not loaded either.
  const ProjectInventory p = Read("<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\n" + frozen + ">\n>\n");
  EXPECT_EQ(projectStatusWord(p.status), "plays");
  EXPECT_EQ(p.missingToEdit, 1u);
}

using project_status_file = TempFolder;

TEST_F(project_status_file, reapers_video_processor_is_installed_where_plugins_are_checked) {
  PluginCaches caches;
  caches.addVstCache("[vstcache]\na.dll=00,1,A (V)\n");
  writeFile(u"video.rpp",
            "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\n<FXCHAIN\nBYPASS 0 0 0\n<VIDEO_EFFECT \"Video processor\" \"\"\n>\n>\n>\n>\n");
  ProjectFileResult checked = inventoryProjectFile(path(u"video.rpp"), &caches);
  ProjectFileResult unchecked = inventoryProjectFile(path(u"video.rpp"), nullptr);
  ASSERT_EQ(checked.reason, "");
  ASSERT_EQ(checked.inventory.plugins.size(), 1u);
  EXPECT_EQ(checked.inventory.plugins[0].first.status, InstallStatus::Installed);
  EXPECT_EQ(checked.inventory.status, ProjectStatus::Complete);
  EXPECT_EQ(unchecked.inventory.status, ProjectStatus::Unknown);  // no check: "unknown", as the help says
}

using media_search = TempFolder;

TEST_F(media_search, the_first_namesake_folder_by_folder_in_path_order_down_to_two_levels) {
  for (TextView folder : {u"B", u"B/x", u"a", u"a/deep", u"a/deep/er", u"Audio"})
    std::filesystem::create_directories(std::filesystem::path(std::u16string(path(folder))));
  writeFile(u"a/deep/er/only-deep.wav", "RIFF");  // three levels down: not looked at
  writeFile(u"a/deep/two.wav", "RIFF");
  writeFile(u"B/x/two.wav", "RIFF");               // "B" before "a" in code-point order
  writeFile(u"Audio/bass.wav", "RIFF");
  writeFile(u"bass.wav", "RIFF");                  // the project's own folder comes first
  writeFile(u"a/Case.wav", "RIFF");
  MediaSearch search;
  const Text sep(1, FolderSeparator());
  EXPECT_EQ(search.find(folder(), "C:\\Users\\me\\Song\\bass.wav"), path(u"bass.wav"));
  EXPECT_EQ(search.find(folder(), "/old/disk/two.wav"), path(u"B" + sep + u"x" + sep + u"two.wav"));
  EXPECT_EQ(search.find(folder(), "only-deep.wav"), Text());
  EXPECT_EQ(search.find(folder(), "Audio/"), Text());  // a name that is no file's
  if (FolderSeparator() == u'/') EXPECT_EQ(search.find(folder(), "case.wav"), Text());
  else EXPECT_EQ(search.find(folder(), "case.wav"), path(u"a\\Case.wav"));
  // Every folder was listed once, however many files were looked for.
  EXPECT_EQ(search.listings(), 6u);  // a/deep/er, three levels down, never
  // With no room to keep them, listings are made again: memory stays bounded.
  MediaSearch tiny(1);
  tiny.find(folder(), "x/none.wav");
  tiny.find(folder(), "x/none.wav");
  EXPECT_EQ(tiny.listings(), 12u);
}

TEST_F(media_search, a_project_read_from_disk_names_each_missing_files_namesake_and_searches_nothing_when_nothing_is_missing) {
  std::filesystem::create_directories(std::filesystem::path(std::u16string(path(u"Media"))));
  writeFile(u"Media/bass.wav", "RIFF");
  writeFile(u"song.rpp", Project(Vst("a.dll"), "C:\\Users\\me\\Song\\bass.wav"));
  writeFile(u"ok.rpp", Project(Vst("a.dll"), "Media/bass.wav"));
  MediaSearch search;
  ProjectFileResult ok = inventoryProjectFile(path(u"ok.rpp"), nullptr, {}, {}, &search);
  EXPECT_EQ(search.listings(), 0u);
  EXPECT_EQ(ok.inventory.missingMedia, 0u);
  ProjectFileResult song = inventoryProjectFile(path(u"song.rpp"), nullptr, {}, {}, &search);
  ASSERT_EQ(song.reason, "");
  EXPECT_EQ(song.inventory.missingMedia, 1u);
  EXPECT_EQ(song.inventory.status, ProjectStatus::Incomplete);  // found by name is still missing
  const std::string found = PathText(path(u"Media") + FolderSeparator() + u"bass.wav");
  std::vector<MediaReference> media;
  EXPECT_TRUE(song.inventory.forEach([](const PluginInstance&) {}, [&](const MediaReference& m) { media.push_back(m); }));
  ASSERT_EQ(media.size(), 1u);
  EXPECT_FALSE(media[0].exists);
  EXPECT_EQ(media[0].foundByName, found);
}

TEST(archive_missing_media, each_file_once_sorted_with_the_projects_that_name_it) {
  ArchiveTotals totals;
  ProjectInventory a = Read(Project(Vst("a.dll"), "/gone/z.wav")), b = Read(Project(Vst("m.dll"), "/gone/z.wav"));
  ProjectInventory c = Read(Project(Vst("a.dll"), "rel.wav")), d = Read(Project(Vst("a.dll")));
  totals.addProject(a, "/arch/a.rpp");
  totals.addProject(b, "/arch/b.rpp");
  totals.addProject(c, "/arch/c.rpp");
  totals.addProject(d, "/arch/d.rpp");
  totals.finish();
  struct Missing {
    std::string file, foundByName;
    std::vector<std::uint32_t> projects;
  };
  std::vector<Missing> missing;
  EXPECT_TRUE(totals.forEachMissingMedia([&](const ArchiveTotals::MissingMedia& m) {
    missing.push_back({std::string(m.file), std::string(m.foundByName), m.projects});
  }));
  ASSERT_EQ(missing.size(), 2u);
  EXPECT_EQ(missing[0].file, "/arch/rel.wav");  // resolved from its project's folder
  EXPECT_EQ(missing[1].file, "/gone/z.wav");
  EXPECT_EQ(missing[1].foundByName, "/found//gone/z.wav");
  ASSERT_EQ(missing[1].projects.size(), 2u);
  EXPECT_EQ(totals.projectPath(missing[1].projects[0]), "/arch/a.rpp");
  EXPECT_EQ(totals.projectPath(missing[1].projects[1]), "/arch/b.rpp");
  EXPECT_EQ(totals.projectsWith(ProjectStatus::Incomplete), 3u);
  EXPECT_EQ(totals.projectsWith(ProjectStatus::Complete), 1u);
}

// The same records, merged from runs set aside in a scratch file (a limit
// of a few records) or sorted in memory, come out the same.
TEST(archive_missing_media, runs_set_aside_merge_to_what_memory_sorts) {
  auto listed = [](std::size_t memoryLimit) {
    MissingMediaList list({}, memoryLimit);
    const char* names[] = {"/m/é.wav", "/m/b.wav", "/m/a.wav", "/m/b.wav"};
    std::string out;
    for (std::uint32_t project = 0; project < 40; ++project) {
      for (std::uint32_t k = 0; k < 4; ++k) {
        const std::string file = names[(project + k) % 4];
        list.add(file, project, project == 7 && k == 2 ? "/found/" + file : std::string());
        if (k == 0) list.add(file, project, {});  // named twice by one project: listed once
      }
    }
    list.add(std::string(70000, 'z'), 40, "far");  // longer than a run's read buffer
    EXPECT_TRUE(list.forEach([&](const MissingMediaList::Entry& e) {
      out.append(e.file.substr(0, 10)).append(" [").append(e.foundByName).append("]");
      for (std::uint32_t p : e.projects) out.append(" ").append(std::to_string(p));
      out.append("\n");
    }));
    EXPECT_EQ(list.failureReason(), u"");
    return out;
  };
  const std::string inMemory = listed(MissingMediaList::kDefaultMemoryLimit);
  EXPECT_EQ(listed(200), inMemory);
  EXPECT_EQ(inMemory.substr(0, inMemory.find('\n')), "/m/a.wav [] 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33 34 35 36 37 38 39");
  EXPECT_NE(inMemory.find("/m/b.wav [/found//m/b.wav] 0 1"), std::string::npos);
  EXPECT_LT(inMemory.find("/m/b.wav"), inMemory.find("/m/é.wav"));  // byte order: é after b
  EXPECT_NE(inMemory.find("zzzzzzzzzz [far] 40"), std::string::npos);

  // No scratch file can be made: the list says so instead of being short.
  MissingMediaList nowhere(u"quorvel-no-such-folder/below", 10);
  nowhere.add("/m/a.wav", 0, {});
  EXPECT_FALSE(nowhere.empty());
  EXPECT_FALSE(nowhere.forEach([](const MissingMediaList::Entry&) {}));
  EXPECT_NE(nowhere.failureReason(), u"");
}

namespace {

std::string Csv(CsvTable table) {
  ProjectInventory p = Read(Project(Vst("m.dll", 0, 1) + "BYPASS 0 0 0\n<CONTAINER Container \"Bus\"\n" + Vst("a.dll") + ">\n",
                                    "/gone/x.wav"));
  ProjectInventory empty = Read("<REAPER_PROJECT 0.1 \"6.0/OSX64\"\n>\n");
  std::string bytes;
  SinkOf sink([&](std::string_view piece) {
    bytes += piece;
    return true;
  });
  const std::unique_ptr<InventoryWriter> writer = makeInventoryWriter(InventoryFormat::Csv, {}, sink, {}, table);
  ArchiveTotals totals;
  EXPECT_TRUE(writer->open(u""));
  EXPECT_TRUE(writer->addProject({"/arch/a.rpp", p}));
  EXPECT_TRUE(writer->addProject({"/arch/e.rpp", empty}));
  totals.finish();
  EXPECT_TRUE(writer->finish(totals));
  return bytes;
}

}  // namespace

TEST(inventory_csv, each_table_starts_with_a_byte_order_mark_and_has_its_rows) {
  const std::string instances = Csv(CsvTable::Instances);
  EXPECT_EQ(instances.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(instances.find(",status,container,reaper_version,reaper_platform,project_status\r\n"), std::string::npos);
  EXPECT_NE(instances.find(",offline,,missing,,7.0,x64,incomplete\r\n"), std::string::npos);
  EXPECT_NE(instances.find(",online,,installed,Bus,7.0,x64,incomplete\r\n"), std::string::npos);
  const std::string projects = Csv(CsvTable::Projects);
  EXPECT_EQ(projects,
            "\xEF\xBB\xBFproject,reaper_version,reaper_platform,project_status,tracks,instances,plugins,missing_plugins,"
            "missing_plugins_to_play,missing_plugins_to_edit,media,missing_media,backups\r\n"
            "/arch/a.rpp,7.0,x64,incomplete,1,2,2,1,0,1,1,1,0\r\n"
            "/arch/e.rpp,6.0,OSX64,complete,0,0,0,0,0,0,0,0,0\r\n");
  const std::string media = Csv(CsvTable::Media);
  EXPECT_EQ(media, "\xEF\xBB\xBFproject,file,resolved,exists,found_by_name,uses\r\n"
                   "/arch/a.rpp,/gone/x.wav,/gone/x.wav,no,/found//gone/x.wav,1\r\n");
}

TEST(backup_owners, a_backup_goes_under_the_project_it_is_named_after) {
  ProjectPaths paths;
  const char16_t* names[] = {
      u"/a/Song.rpp",          u"/a/Song.rpp-bak",                     // beside it
      u"/a/Song 2.RPP",        u"/a/Backups/Song 2-2024-05-01_1200.rpp-bak",  // the longest name wins
      u"/a/Backups/Song_7.rpp-bak",                                     // "_" and a digit, folder above
      u"/a/Backups/Songbook-1.rpp-bak",                                 // not "Song" followed by - _ or space
      u"/a/Song-2024.RPP-BAK",                                          // timestamped beside it, any case
      u"/b/Gone.rpp-bak",                                               // its project is not there
      u"/a/x/y/Song-1.rpp-bak",                                         // two folders down: not Song's
  };
  for (const char16_t* name : names) {
    Text path(name);
    for (char16_t& c : path)
      if (c == u'/') c = FolderSeparator();
    paths.add(path);
  }
  paths.sort();
  const std::vector<std::size_t> owners = backupOwners(paths);
  std::map<std::string, std::string> ownerOf;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    std::string name(paths.bytes(i)), owner(owners[i] == kNoOwner ? "-" : std::string(paths.bytes(owners[i])));
    for (std::string* t : {&name, &owner})
      for (char& c : *t)
        if (c == '\\') c = '/';
    ownerOf[name] = owner;
  }
  EXPECT_EQ(ownerOf["/a/Song.rpp-bak"], "/a/Song.rpp");
  EXPECT_EQ(ownerOf["/a/Backups/Song 2-2024-05-01_1200.rpp-bak"], "/a/Song 2.RPP");
  EXPECT_EQ(ownerOf["/a/Backups/Song_7.rpp-bak"], "/a/Song.rpp");
  EXPECT_EQ(ownerOf["/a/Backups/Songbook-1.rpp-bak"], "-");
  EXPECT_EQ(ownerOf["/a/Song-2024.RPP-BAK"], "/a/Song.rpp");
  EXPECT_EQ(ownerOf["/b/Gone.rpp-bak"], "-");
  EXPECT_EQ(ownerOf["/a/x/y/Song-1.rpp-bak"], "-");
  EXPECT_EQ(ownerOf["/a/Song.rpp"], "-");
  // Each project is read just before its backups; the rest keep path order.
  const std::vector<std::size_t> order = orderWithBackups(owners);
  ASSERT_EQ(order.size(), paths.size());
  for (std::size_t at = 0; at < order.size(); ++at) {
    if (owners[order[at]] == kNoOwner) continue;
    EXPECT_TRUE(order[at - 1] == owners[order[at]] || owners[order[at - 1]] == owners[order[at]]) << at;
  }
  EXPECT_TRUE(orderWithBackups(std::vector<std::size_t>(3, kNoOwner)).empty());
}
