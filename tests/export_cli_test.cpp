#include "app/export_cli.h"
#include "core/loader.h"
#include "report/export.h"
#include "runtime/numbered_file.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

namespace {

std::string U8(TextView text) { return TextToUtf8(text); }

class export_cli : public TempFolder {
 protected:
  void TearDown() override {
    CloseAllNumberedFiles();
    TempFolder::TearDown();
  }
  int run(std::vector<Text> arguments) {
    out.clear();
    err.clear();
    return RunExportCli(arguments, {[this](TextView line) { out.push_back(U8(line)); },
                                    [this](TextView line) { err.push_back(U8(line)); }});
  }
  // What the window's Export writes for this project into `into`.
  std::string windowReport(TextView project, TextView into) {
    ProjectData data;
    EXPECT_EQ(loadProjectFile(data, project), LoadResult::Loaded);
    EXPECT_EQ(exportReport(data, into), ExportResult::Written);
    std::string bytes = ReadBytes(reportPath(data, into));
    OsRemove(reportPath(data, into));
    return bytes;
  }
  static void OsRemove(TextView file) { std::remove(U8(file).c_str()); }
  std::vector<std::string> out, err;
};

Text Sep() { return Text(1, FolderSeparator()); }

}  // namespace

TEST_F(export_cli, writes_each_report_into_the_output_folder_as_the_window_does) {
  const Text a = TestData("empty-master.rpp");
  const Text b = TestData("basic.rpp");
  ASSERT_EQ(run({u"--output-dir", folder(), a, b}), 0);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], U8(folder() + u"empty-master.html"));
  EXPECT_TRUE(err.empty());
  const std::string written = ReadBytes(folder() + u"basic.html");
  EXPECT_EQ(written, windowReport(b, folder()));
}

TEST_F(export_cli, output_folder_without_its_separator_and_the_equals_form) {
  Text bare = folder();
  bare.pop_back();
  ASSERT_EQ(run({u"--output-dir=" + bare, TestData("basic.rpp")}), 0);
  EXPECT_TRUE(FileExists(path(u"basic.html")));
}

TEST_F(export_cli, beside_writes_into_the_projects_folder) {
  writeFile(u"song.rpp", "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\nNAME x\n");
  ASSERT_EQ(run({u"--beside", path(u"song.rpp")}), 0);
  EXPECT_EQ(out, std::vector<std::string>{U8(path(u"song.html"))});
  EXPECT_NE(ReadBytes(path(u"song.html")).find("Track Name : x<br>"), std::string::npos);
}

TEST_F(export_cli, output_file_takes_the_report_byte_for_byte) {
  const Text project = TestData("basic.rpp");
  ASSERT_EQ(run({u"-o", path(u"chosen name.htm"), project}), 0);
  EXPECT_EQ(out, std::vector<std::string>{U8(path(u"chosen name.htm"))});
  EXPECT_EQ(ReadBytes(path(u"chosen name.htm")), windowReport(project, folder()));
}

TEST_F(export_cli, unicode_paths_work_everywhere) {
  const Text name = u"\u00c9t\u00e9 \u3042 \U0001F3B5";
  writeFile(name + u".rpp", "<TRACK\nNAME \xC3\xA9\n");
  ASSERT_EQ(run({u"--beside", path(name + u".rpp")}), 0);
  EXPECT_NE(ReadBytes(path(name + u".html")).find("<title>Reaper Project : " + U8(name) + "</title>"),
            std::string::npos);
}

TEST_F(export_cli, relative_paths_are_made_absolute) {
  // The test runs in its build folder; a relative path to a file there works.
  const Text relative = u"quorvel-cli-relative.rpp";
  WriteBytes(CurrentDirectory() + relative, "<TRACK\n");
  const int status = run({u"--output-dir", folder(), relative});
  OsRemove(CurrentDirectory() + relative);
  ASSERT_EQ(status, 0);
  EXPECT_NE(ReadBytes(path(u"quorvel-cli-relative.html")).find("Project Path : " + U8(CurrentDirectory())),
            std::string::npos);
}

TEST_F(export_cli, failures_are_reported_and_the_rest_goes_on) {
  const Text missing = path(u"missing.rpp");
  ASSERT_EQ(run({u"--output-dir", folder(), missing, TestData("basic.rpp")}), 1);
  EXPECT_EQ(err, std::vector<std::string>{"quorvel-export: " + U8(missing) + ": Couldn't open the file!"});
  EXPECT_EQ(out.size(), 1u);
  EXPECT_TRUE(FileExists(path(u"basic.html")));
}

TEST_F(export_cli, a_folder_that_cannot_take_the_report) {
  const Text nowhere = path(u"no such folder") + Sep();
  ASSERT_EQ(run({u"--output-dir", nowhere, TestData("basic.rpp")}), 1);
  ASSERT_EQ(err.size(), 1u);
  EXPECT_NE(err[0].find(": may not create the file!"), std::string::npos);
  EXPECT_TRUE(out.empty());
}

TEST_F(export_cli, bad_usage_exits_2_with_a_one_line_hint) {
  const Text p = TestData("basic.rpp");
  const std::vector<std::vector<Text>> cases = {
      {},
      {u"--bogus", p},
      {u"--output-dir"},
      {u"-o"},
      {u"--output-dir", folder(), u"--beside", p},
      {u"-o", path(u"x.html"), p, p},
      {u"-o", path(u"x.html"), u"--beside", p},
      {u"-o", u"-", u"--open", p},
      {u"--output-dir="},
  };
  for (const auto& arguments : cases) {
    EXPECT_EQ(run(arguments), 2);
    EXPECT_EQ(err.size(), 1u);
    EXPECT_NE(err.at(0).find("--help"), std::string::npos);
    EXPECT_TRUE(out.empty());
  }
}

TEST_F(export_cli, help_and_version) {
  EXPECT_EQ(run({u"--help"}), 0);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0].rfind("Usage: quorvel-export", 0), 0u);
  EXPECT_EQ(run({u"--version"}), 0);
  EXPECT_EQ(out, std::vector<std::string>{"quorvel-export 1.0.0"});
}

TEST_F(export_cli, a_double_dash_ends_the_options) {
  writeFile(u"-odd.rpp", "<TRACK\n");
  ASSERT_EQ(run({u"--output-dir", folder(), u"--", path(u"-odd.rpp")}), 0);
  EXPECT_TRUE(FileExists(path(u"-odd.html")));
}
