#include "app/export_cli.h"
#include "app/version.h"
#include "core/loader.h"
#include "report/export.h"
#include "runtime/numbered_file.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

#include <filesystem>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
    return runExportCli(arguments, {[this](TextView line) {
                                      out.push_back(U8(line));
                                      return outputWorks;
                                    },
                                    [this](TextView line) { err.push_back(U8(line)); }});
  }
  // What the window's Export writes for this project into `into`.
  std::string windowReport(TextView project, TextView into) {
    ProjectData data;
    EXPECT_EQ(loadProjectFile(data, project).result, LoadResult::Loaded);
    EXPECT_EQ(exportReport(data, into), ExportResult::Written);
    std::string bytes = ReadBytes(reportPath(data, into));
    osRemove(reportPath(data, into));
    return bytes;
  }
  static void osRemove(TextView file) { std::remove(U8(file).c_str()); }
  std::vector<std::string> out, err;
  bool outputWorks = true;  // false: standard output refuses every line
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
  writeFile(name + u".rpp", "<REAPER_PROJECT\n<TRACK\nNAME \xC3\xA9\n");
  ASSERT_EQ(run({u"--beside", path(name + u".rpp")}), 0);
  EXPECT_NE(ReadBytes(path(name + u".html")).find("<title>Reaper Project : " + U8(name) + "</title>"),
            std::string::npos);
}

TEST_F(export_cli, relative_paths_are_made_absolute) {
  // In a working folder of the test's own, the project and the output folder
  // are named relative to it; the report names the project's real folder.
  const Text separator(1, FolderSeparator());
  const Text work = path(u"cli work") + separator;
  std::filesystem::create_directories(std::filesystem::path(std::u16string(work + u"sub")));
  std::filesystem::create_directories(std::filesystem::path(std::u16string(work + u"reports")));
  WriteBytes(work + u"song.rpp", "<REAPER_PROJECT\n<TRACK\n");
  WorkingDirectory inside(work);
  const Text here = WorkingDirectory::current();
  ASSERT_EQ(U8(TextTail(here, 9)), U8(u"cli work" + separator));
  ASSERT_EQ(run({u"--output-dir", u"reports", u"sub/../song.rpp"}), 0);
  const Text report = here + u"reports" + separator + u"song.html";
  EXPECT_EQ(out, std::vector<std::string>{U8(report)});
  EXPECT_NE(ReadBytes(report).find("Project Path : " + U8(here) + "<br>"), std::string::npos) << ReadBytes(report);
}

TEST_F(export_cli, failures_name_the_path_that_failed_the_message_and_the_reason) {
  // The project that cannot be read is named; for a report that cannot be
  // created it is the report's path, not the project's. The system's reason
  // follows in parentheses.
  const Text missing = path(u"missing.rpp");
  ASSERT_EQ(run({u"--output-dir", folder(), missing, TestData("basic.rpp")}), 1);
  ASSERT_EQ(err.size(), 1u);
  EXPECT_EQ(err[0].rfind("quorvel-export: " + U8(missing) + ": Couldn't open the file! (", 0), 0u) << err[0];
  EXPECT_GT(err[0].size(), ("quorvel-export: " + U8(missing) + ": Couldn't open the file! ()").size());
  EXPECT_EQ(err[0].back(), ')');
  EXPECT_EQ(out.size(), 1u);
  EXPECT_TRUE(FileExists(path(u"basic.html")));

  const Text nowhere = path(u"no such folder") + Sep();
  ASSERT_EQ(run({u"--output-dir", nowhere, TestData("basic.rpp")}), 1);
  ASSERT_EQ(err.size(), 1u);
  EXPECT_EQ(err[0].rfind("quorvel-export: " + U8(TestData("basic.rpp")) + ": may not create " + U8(nowhere + u"basic.html") + " (", 0), 0u)
      << err[0];
  EXPECT_TRUE(out.empty());

#ifndef _WIN32
  // A project name of 251 bytes fits the system's 255 a name; its report's does not.
  const Text longest = Text(251, u'n');
  writeFile(longest + u".rpp", "<REAPER_PROJECT\n<TRACK\n");
  ASSERT_EQ(run({u"--beside", path(longest + u".rpp")}), 1);
  ASSERT_EQ(err.size(), 1u);
  EXPECT_EQ(err[0].rfind("quorvel-export: " + U8(path(longest + u".rpp")) + ": may not create " + U8(path(longest + u".html")) + " (", 0), 0u)
      << err[0];
  std::error_code error;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(NativePathFromText(path(longest + u".html"))), error));
#endif
}

TEST_F(export_cli, no_report_is_written_onto_a_project_of_the_run) {
  const std::string project = "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\nNAME keep\n";
  writeFile(u"p.rpp", project);
  writeFile(u"other.rpp", "<REAPER_PROJECT\n<TRACK\n");
  std::filesystem::create_directory(std::filesystem::path(std::u16string(path(u"sub"))));
  std::filesystem::create_hard_link(std::filesystem::path(std::u16string(path(u"p.rpp"))),
                                    std::filesystem::path(std::u16string(path(u"hard.rpp"))));
  struct Case {
    const char* what;
    std::vector<Text> arguments;
  };
  std::vector<Case> cases = {
      {"the same path", {u"-o", path(u"p.rpp"), path(u"p.rpp")}},
      {"a path through ..", {u"-o", path(u"sub") + Sep() + u".." + Sep() + u"p.rpp", path(u"p.rpp")}},
      {"a hard link", {u"-o", path(u"hard.rpp"), path(u"p.rpp")}},
      {"a path through .", {u"-o", folder() + u"." + Sep() + u"p.rpp", path(u"p.rpp")}},
  };
#ifndef _WIN32
  std::filesystem::create_symlink("p.rpp", std::filesystem::path(std::u16string(path(u"link.rpp"))));
  std::filesystem::create_symlink("p.rpp", std::filesystem::path(std::u16string(path(u"p.html"))));
  std::filesystem::create_symlink("p.rpp", std::filesystem::path(std::u16string(path(u"other.html"))));
  cases.push_back({"a symbolic link", {u"-o", path(u"link.rpp"), path(u"p.rpp")}});
  cases.push_back({"--beside onto a link to the project", {u"--beside", path(u"p.rpp")}});
  cases.push_back({"a folder's report linked to a later project", {u"--output-dir", folder(), path(u"other.rpp"), path(u"p.rpp")}});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(run(c.arguments), 1);
    ASSERT_FALSE(err.empty());
    EXPECT_NE(err[0].find(".rpp: may not create " + U8(folder())), std::string::npos) << err[0];
    EXPECT_NE(err[0].find(" (it is a project file)"), std::string::npos) << err[0];
    EXPECT_EQ(ReadBytes(path(u"p.rpp")), project);
    EXPECT_EQ(ReadBytes(path(u"other.rpp")), "<REAPER_PROJECT\n<TRACK\n");
  }
}

TEST_F(export_cli, two_projects_of_one_name_do_not_overwrite_each_other) {
  std::filesystem::create_directory(std::filesystem::path(std::u16string(path(u"a"))));
  std::filesystem::create_directory(std::filesystem::path(std::u16string(path(u"b"))));
  std::filesystem::create_directory(std::filesystem::path(std::u16string(path(u"o"))));
  writeFile(u"a/x.rpp", "<REAPER_PROJECT\n<TRACK\nNAME from-a\n");
  writeFile(u"b/x.rpp", "<REAPER_PROJECT\n<TRACK\nNAME from-b\n");
  const Text a = path(u"a") + Sep() + u"x.rpp";
  const Text b = path(u"b") + Sep() + u"x.rpp";
  const Text report = path(u"o") + Sep() + u"x.html";
  ASSERT_EQ(run({u"--output-dir", path(u"o"), a, b}), 1);
  EXPECT_EQ(out, std::vector<std::string>{U8(report)});
  ASSERT_EQ(err.size(), 1u);
  EXPECT_EQ(err[0], "quorvel-export: " + U8(b) + ": may not create " + U8(report) + " (already written for " + U8(a) + ")");
  EXPECT_NE(ReadBytes(report).find("Track Name : from-a<br>"), std::string::npos);
  // The same project named twice writes the same report twice.
  ASSERT_EQ(run({u"--output-dir", path(u"o"), a, a}), 0);
  EXPECT_EQ(out.size(), 2u);
}

TEST_F(export_cli, a_list_that_cannot_be_printed_fails_the_run) {
  outputWorks = false;
  ASSERT_EQ(run({u"--output-dir", folder(), TestData("basic.rpp")}), 1);
  EXPECT_TRUE(FileExists(path(u"basic.html")));  // the report itself is written
  ASSERT_EQ(err.size(), 1u);
  EXPECT_NE(err[0].find("could not be printed"), std::string::npos);
}

TEST_F(export_cli, a_project_another_program_holds_says_so) {
  writeFile(u"busy.rpp", "<REAPER_PROJECT\n<TRACK\n");
  ASSERT_NE(OpenFileForReading(7, path(u"busy.rpp")), 0);
  EXPECT_EQ(run({u"--output-dir", folder(), path(u"busy.rpp")}), 1);
  CloseNumberedFile(7);
  ASSERT_EQ(err.size(), 1u);
  EXPECT_EQ(err[0], "quorvel-export: " + U8(path(u"busy.rpp")) +
                        ": Couldn't open the file! (another program is using the file)");
}

#ifndef _WIN32
TEST_F(export_cli, control_characters_in_names_are_printed_as_escapes) {
  const Text name = u"new\nline \x1b[31mred\x9b";
  writeFile(name + u".rpp", "<REAPER_PROJECT\n<TRACK\n");
  ASSERT_EQ(run({u"--beside", path(name + u".rpp"), path(u"missing\x07.rpp")}), 1);
  EXPECT_EQ(out, std::vector<std::string>{U8(folder()) + "new\\nline \\x1b[31mred\\u009b.html"});
  ASSERT_EQ(err.size(), 1u);
  EXPECT_NE(err[0].find("missing\\x07.rpp: Couldn't open the file!"), std::string::npos) << err[0];
  EXPECT_TRUE(FileExists(path(name + u".html")));
}

TEST_F(export_cli, names_that_are_not_utf8_are_read_and_written) {
  const std::string native = TextToUtf8(folder()) + "caf\xE9";
  const int fd = ::open((native + ".rpp").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "<REAPER_PROJECT\n<TRACK\nNAME x\n", 30), 30);
  ::close(fd);
  std::vector<Text> printed;
  const int status = runExportCli({u"--beside", TextFromNativePath(native + ".rpp")},
                                  {[&](TextView line) {
                                     printed.emplace_back(line);
                                     return true;
                                   },
                                   [](TextView) {}});
  ASSERT_EQ(status, 0);
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(NativePathFromText(printed[0]), native + ".html");  // printed with its own byte
  struct stat info;
  ASSERT_EQ(::stat((native + ".html").c_str(), &info), 0);
  EXPECT_GT(info.st_size, 1000);
}

TEST_F(export_cli, a_current_folder_that_cannot_be_read_is_no_folder_at_all) {
  // Relative names need the current folder; a removed one is an error, never "/".
  const std::string previous = std::filesystem::current_path().string();
  // What is at "/" beforehand stays as it was (another run may have left files there).
  auto stateOf = [](const char* name) {
    std::error_code error;
    const auto time = std::filesystem::last_write_time(name, error);
    return error ? std::string("absent") : std::to_string(time.time_since_epoch().count());
  };
  const std::string rootOut = stateOf("/out.html"), rootBasic = stateOf("/basic.html");
  const std::filesystem::path gone = std::filesystem::path(std::u16string(path(u"gone")));
  std::filesystem::create_directory(gone);
  std::filesystem::current_path(gone);
  std::filesystem::remove(gone);
  const int relativeProject = run({u"--output-dir", folder(), u"p.rpp"});
  const std::vector<std::string> projectErr = err;
  const int relativeReport = run({u"-o", u"out.html", TestData("basic.rpp")});
  const std::vector<std::string> reportErr = err;
  const int defaultFolder = run({TestData("basic.rpp")});
  const std::vector<std::string> defaultErr = err;
  std::filesystem::current_path(previous);
  EXPECT_EQ(relativeProject, 1);
  ASSERT_EQ(projectErr.size(), 1u);
  EXPECT_EQ(projectErr[0], "quorvel-export: p.rpp: Couldn't open the file! (the current folder cannot be read)");
  EXPECT_EQ(relativeReport, 1);
  ASSERT_EQ(reportErr.size(), 1u);
  EXPECT_EQ(reportErr[0], "quorvel-export: " + U8(TestData("basic.rpp")) +
                              ": may not create out.html (the current folder cannot be read)");
  EXPECT_EQ(defaultFolder, 1);
  ASSERT_EQ(defaultErr.size(), 1u);
  EXPECT_NE(defaultErr[0].find("(the current folder cannot be read)"), std::string::npos) << defaultErr[0];
  EXPECT_EQ(stateOf("/out.html"), rootOut);
  EXPECT_EQ(stateOf("/basic.html"), rootBasic);
}
#endif

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
      {u"--output-dir", u"", p},
      {u"-o", u"", p},
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
  EXPECT_EQ(out, std::vector<std::string>{"quorvel-export " QUORVEL_VERSION});
}

TEST_F(export_cli, a_double_dash_ends_the_options) {
  writeFile(u"-odd.rpp", "<REAPER_PROJECT\n<TRACK\n");
  ASSERT_EQ(run({u"--output-dir", folder(), u"--", path(u"-odd.rpp")}), 0);
  EXPECT_TRUE(FileExists(path(u"-odd.html")));
}

// A file that is not a REAPER project fails that project alone, named by its
// path; the batch goes on. A project's first line may be indented.
TEST_F(export_cli, a_file_that_is_not_a_project_fails_and_the_batch_goes_on) {
  writeFile(u"image.rpp", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  writeFile(u"empty.rpp", "");
  writeFile(u"notes.rpp", "Reaper Version : 7.0\n<REAPER_PROJECT 0.1 \"7.0/x64\"\n");
  writeFile(u"indented.rpp", " \t<REAPER_PROJECT 0.1 \"7.0/x64\"\n");
  ASSERT_EQ(run({u"--output-dir", folder(), path(u"image.rpp"), path(u"empty.rpp"), path(u"notes.rpp"),
                 path(u"indented.rpp")}),
            1);
  EXPECT_EQ(err, (std::vector<std::string>{"quorvel-export: " + U8(path(u"image.rpp")) + ": not a REAPER project",
                                           "quorvel-export: " + U8(path(u"empty.rpp")) + ": not a REAPER project",
                                           "quorvel-export: " + U8(path(u"notes.rpp")) + ": not a REAPER project"}));
  EXPECT_EQ(out, std::vector<std::string>{U8(path(u"indented.html"))});
  EXPECT_FALSE(FileExists(path(u"image.html")));
  EXPECT_EQ(run({u"-o", u"-", path(u"empty.rpp")}), 1);
}
