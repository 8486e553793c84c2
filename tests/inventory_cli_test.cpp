#include "app/inventory_cli.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

namespace {

std::string U8(TextView text) { return TextToUtf8(text); }

class inventory_cli : public TempFolder {
 protected:
  int run(std::vector<Text> arguments, bool terminal = false) {
    out.clear();
    err.clear();
    progress.clear();
    InventoryStreams streams{[this](TextView line) { out.push_back(U8(line)); },
                             [this](TextView line) { err.push_back(U8(line)); }, {}};
    if (terminal) streams.progress = [this](std::string_view line) { progress.emplace_back(line); };
    return runInventoryCli(arguments, streams);
  }
  std::string errText() const {
    std::string all;
    for (const std::string& line : err) all += line + "\n";
    return all;
  }
  std::vector<std::string> out, err, progress;
};

Text Archive() { return TestData("inventory/archive"); }
Text Resources() { return TestData("inventory/resources"); }

// A text as it stands inside a JSON string (a Windows path's backslashes doubled).
std::string InJson(TextView text) {
  std::string out;
  for (char c : U8(text)) {
    if (c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::size_t Count(const std::string& haystack, std::string_view needle) {
  std::size_t n = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

}  // namespace

TEST_F(inventory_cli, bad_usage_exits_2_with_one_line_and_writes_nothing) {
  const std::vector<std::vector<Text>> cases = {
      {},
      {u"--no-such-option", Archive()},
      {u"--format", u"xml", Archive()},
      {u"--format"},
      {u"--jobs", u"0", Archive()},
      {u"--jobs=many", Archive()},
      {u"-o", u"", Archive()},
      {u"--quiet=yes", Archive()},
      {u"--no-installed-check", u"--reaper-resources", Resources(), Archive()},
      {u"--reaper-resources", path(u"no-such-folder"), Archive()},
  };
  for (const std::vector<Text>& arguments : cases) {
    std::string shown;
    for (const Text& a : arguments) shown += U8(a) + " ";
    EXPECT_EQ(run(arguments), 2) << shown;
    EXPECT_EQ(err.size(), 1u) << shown << errText();
    EXPECT_TRUE(out.empty()) << shown;
  }
  EXPECT_FALSE(FileExists(path(u"inventory.html")));
}

TEST_F(inventory_cli, reads_the_archive_lists_what_it_could_not_read_and_exits_1) {
  const Text json = path(u"out.json");
  EXPECT_EQ(run({u"--reaper-resources", Resources(), u"--format", u"json", u"-o", json, Archive()}), 1);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], U8(json));
  const std::string text = ReadBytes(json);
  EXPECT_EQ(Count(text, "\"reaper_version\""), 2u);  // the .RPP and minimal.rpp; notes.rpp is no project
  EXPECT_EQ(Count(text, "minimal.rpp-bak"), 0u);    // backups only when asked
  EXPECT_NE(text.find("notes.rpp\", \"message\": \"not a REAPER project"), std::string::npos);
  EXPECT_NE(text.find("\"resources\": \"" + InJson(Resources()) + "\""), std::string::npos);
  EXPECT_NE(errText().find("notes.rpp: not a REAPER project"), std::string::npos);
  // Sorted by path: "2023/old/minimal.rpp" before "Live Sets/...".
  EXPECT_LT(text.find("minimal.rpp\", \"reaper_version\""), text.find("#2.RPP\", \"reaper_version\""));

  EXPECT_EQ(run({u"--no-installed-check", u"--include-backups", u"--format=json", u"-o", json, Archive()}), 1);
  const std::string all = ReadBytes(json);
  EXPECT_EQ(Count(all, "\"reaper_version\""), 3u);
  EXPECT_NE(all.find("\"resources\": null"), std::string::npos);
  EXPECT_EQ(Count(all, "\"status\": \"installed\""), 0u);
}

TEST_F(inventory_cli, every_format_is_the_same_for_one_job_and_for_four) {
  std::vector<Text> roots = {Archive()};
  if (CorpusAvailable()) roots.push_back(CorpusFile(""));  // more projects when the real corpus is there
  for (TextView format : {u"html", u"json", u"csv"}) {
    std::vector<Text> one = {u"--quiet", u"--reaper-resources", Resources(), u"--format", Text(format), u"--jobs", u"1",
                             u"-o", path(u"one")};
    std::vector<Text> four = one;
    four[6] = u"4";
    four[8] = path(u"four");
    one.insert(one.end(), roots.begin(), roots.end());
    four.insert(four.end(), roots.begin(), roots.end());
    EXPECT_EQ(run(one), 1);
    EXPECT_EQ(run(four), 1);
    const std::string a = ReadBytes(path(u"one")), b = ReadBytes(path(u"four"));
    EXPECT_GT(a.size(), 1000u) << U8(format);
    EXPECT_EQ(a, b) << U8(format);
  }
}

TEST_F(inventory_cli, never_writes_over_a_project_it_reads) {
  const std::string project = "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\n>\n>\n";
  writeFile(u"p.rpp", project);
  EXPECT_EQ(run({u"--no-installed-check", u"-o", path(u"p.rpp"), folder()}), 1);
  EXPECT_NE(errText().find("p.rpp: is one of the projects read; may not create the file!"), std::string::npos)
      << errText();
  EXPECT_EQ(ReadBytes(path(u"p.rpp")), project);
  EXPECT_TRUE(out.empty());
}

TEST_F(inventory_cli, a_missing_path_is_an_error_and_the_rest_is_still_written) {
  const Text csv = path(u"x.csv");
  EXPECT_EQ(run({u"--no-installed-check", u"--format", u"csv", u"-o", csv, path(u"gone"),
                 TestData("inventory/archive/2023/old/minimal.rpp")}),
            1);
  EXPECT_NE(errText().find("gone: cannot be found"), std::string::npos);
  const std::string text = ReadBytes(csv);
  EXPECT_EQ(Count(text, "\r\n"), 2u);  // the header and minimal.rpp's one plug-in
  EXPECT_NE(text.find(",track,1,only track,,VST2,effect,ReaComp,Cockos,reacomp.vst.dylib,1919247213,online,Bus,unknown\r\n"),
            std::string::npos);
}

TEST_F(inventory_cli, progress_only_on_a_terminal_and_never_with_quiet) {
  const std::vector<Text> arguments = {u"--no-installed-check", u"-o", path(u"i.html"), Archive()};
  run(arguments, true);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), "");  // cleared at the end
  std::vector<Text> quiet = arguments;
  quiet.insert(quiet.begin(), u"--quiet");
  run(quiet, true);
  EXPECT_TRUE(progress.empty());
}

TEST_F(inventory_cli, jobs_above_the_most_the_help_states_are_bad_usage_that_names_it) {
  ASSERT_EQ(run({u"--help"}), 0);
  std::string help;
  for (const std::string& line : out) help += line + "\n";
  EXPECT_NE(help.find("--jobs N                 read N projects at once, 1 to 256"), std::string::npos) << help;
  const Text project = TestData("inventory/archive/2023/old/minimal.rpp");
  struct Case {
    const char16_t* jobs;
    int status;
    const char* message;
  } cases[] = {
      {u"256", 0, ""},
      {u"257", 2, "quorvel-inventory: --jobs 257 is too large: at most 256"},
      {u"2147483648", 2, "quorvel-inventory: --jobs 2147483648 is too large: at most 256"},
      {u"184467440737095516160", 2, "quorvel-inventory: --jobs 184467440737095516160 is too large: at most 256"},
      {u"0", 2, "quorvel-inventory: --jobs needs a whole number of 1 or more"},
      {u"-3", 2, "quorvel-inventory: --jobs needs a whole number of 1 or more"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run({u"--quiet", u"--no-installed-check", u"--jobs", c.jobs, u"-o", path(u"i.json"), project}), c.status)
        << U8(c.jobs) << errText();
    if (c.status == 2) {
      ASSERT_EQ(err.size(), 1u) << errText();
      EXPECT_EQ(err[0], std::string(c.message) + " (try 'quorvel-inventory --help')");
    }
  }
}
