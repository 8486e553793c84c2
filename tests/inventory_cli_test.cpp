#include "app/inventory_cli.h"
#include "runtime/path_text.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The process's standard output sent elsewhere while it lives: appended to a
// file (`path`), or into a pipe whose reader is gone (no path). Nothing may be
// printed meanwhile: the test's own messages would go there too.
class StandardOutput {
 public:
#ifdef _WIN32
  explicit StandardOutput(TextView path = {}) : saved_(GetStdHandle(STD_OUTPUT_HANDLE)) {
    HANDLE reader = nullptr;
    if (path.empty()) CreatePipe(&reader, &mine_, nullptr, 0);
    else mine_ = CreateFileW(reinterpret_cast<const wchar_t*>(Text(path).c_str()), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (reader) CloseHandle(reader);
    SetStdHandle(STD_OUTPUT_HANDLE, mine_);
  }
  ~StandardOutput() {
    SetStdHandle(STD_OUTPUT_HANDLE, saved_);
    CloseHandle(mine_);
  }

 private:
  HANDLE saved_, mine_ = nullptr;
#else
  explicit StandardOutput(TextView path = {}) : saved_((std::fflush(stdout), ::dup(STDOUT_FILENO))) {
    std::signal(SIGPIPE, SIG_IGN);  // as the program's main does
    int ends[2] = {-1, -1};
    if (path.empty() && ::pipe(ends) == 0) ::close(ends[0]);
    const int mine = path.empty() ? ends[1] : ::open(TextToUtf8(path).c_str(), O_WRONLY | O_APPEND);
    ::dup2(mine, STDOUT_FILENO);
    ::close(mine);
  }
  ~StandardOutput() {
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
#endif
};

std::string U8(TextView text) { return TextToUtf8(text); }

class inventory_cli : public TempFolder {
 protected:
  int run(std::vector<Text> arguments, bool terminal = false) {
    out.clear();
    err.clear();
    progress.clear();
    // Lines as the POSIX program prints them: a name's byte that is not UTF-8 as itself.
    InventoryStreams streams{[this](TextView line) {
                               out.push_back(NativePathFromText(line));
                               return outputWorks;
                             },
                             [this](TextView line) { err.push_back(NativePathFromText(line)); }, {}};
    if (terminal) streams.progress = [this](std::string_view line) { progress.emplace_back(line); };
    return runInventoryCli(arguments, streams);
  }
  // run() with standard output appended to `file` meanwhile (none: a pipe nobody reads).
  int runWithStandardOutput(TextView file, std::vector<Text> arguments) {
    const StandardOutput redirected(file);
    return run(std::move(arguments));
  }
  std::string errText() const {
    std::string all;
    for (const std::string& line : err) all += line + "\n";
    return all;
  }
  std::vector<std::string> out, err, progress;
  bool outputWorks = true;  // false: standard output refuses every line
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
      {u"--csv-table", u"rows", Archive()},
      {u"--format", u"json", u"--csv-table", u"media", Archive()},
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
  // Every cache named, with the entries it gave.
  EXPECT_NE(text.find("{\"file\": \"" + InJson(Resources() + FolderSeparator() + u"reaper-vstplugins64.ini") +
                      "\", \"entries\": 6, \"problem\": null}"),
            std::string::npos);
  EXPECT_NE(errText().find("notes.rpp: not a REAPER project"), std::string::npos);
  // Sorted by path: "2023/old/minimal.rpp" before "Live Sets/...".
  EXPECT_LT(text.find("minimal.rpp\", \"also_at\": [], \"reaper_version\""),
            text.find("#2.RPP\", \"also_at\": [], \"reaper_version\""));

  EXPECT_EQ(run({u"--no-installed-check", u"--include-backups", u"--format=json", u"-o", json, Archive()}), 1);
  const std::string all = ReadBytes(json);
  EXPECT_EQ(Count(all, "\"reaper_version\""), 2u);  // the backup is listed under its project
  EXPECT_NE(all.find("\"backups\": [{\"path\": \"" + InJson(Archive() + FolderSeparator() + u"2023" + FolderSeparator() +
                                                           u"old" + FolderSeparator() + u"minimal.rpp-bak") +
                     "\", \"status\": \"complete\"}]"),
            std::string::npos);
  EXPECT_NE(all.find("\"resources\": null"), std::string::npos);
  EXPECT_EQ(Count(all, "\"status\": \"installed\""), 0u);
}

TEST_F(inventory_cli, every_format_is_the_same_for_one_job_and_for_four) {
  // One "generated" time for both runs, however long they take.
#ifdef _WIN32
  _putenv_s("SOURCE_DATE_EPOCH", "1767225600");
#else
  setenv("SOURCE_DATE_EPOCH", "1767225600", 1);
#endif
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
    EXPECT_TRUE(format != u"html" || a.find("<code>reaper-vstplugins64.ini</code> (6 entries).") != std::string::npos);
  }
}

TEST_F(inventory_cli, never_writes_over_a_project_it_reads) {
  const std::string project = "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\n>\n>\n";
  writeFile(u"p.rpp", project);
  EXPECT_EQ(run({u"--no-installed-check", u"-o", path(u"p.rpp"), folder()}), 1);
  EXPECT_NE(errText().find("p.rpp: may not create the file! (it is a project file)"), std::string::npos)
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
  EXPECT_NE(text.find(",track,1,only track,,VST2,effect,ReaComp,Cockos,reacomp.vst.dylib,1919247213,online,Bus,unknown,,5.40,OSX64,unknown\r\n"),
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

namespace {

// A project that names a media file, beside the caches that know its plug-in.
const std::string kSong =
    "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\n<ITEM\n<SOURCE WAVE\nFILE \"Audio/take.wav\"\n>\n>\n<FXCHAIN\n"
    "BYPASS 0 0 0\n<VST \"VST: ReaEQ (Cockos)\" reaeq.vst.so 0 \"\" 1919247729\n>\n>\n>\n>\n";
const std::string kCache = "[vstcache]\nreaeq.vst.so=00,1919247729,ReaEQ (Cockos)\n";

void MakeFolders(TextView root, std::initializer_list<const char16_t*> names) {
  for (const char16_t* name : names) std::filesystem::create_directories(std::filesystem::path(Text(root) + name));
}

}  // namespace

TEST_F(inventory_cli, an_output_that_is_a_file_the_run_reads_or_checks_is_refused_whole) {
  MakeFolders(folder(), {u"arch/Audio", u"res"});
  writeFile(u"arch/song.rpp", kSong);
  writeFile(u"arch/Audio/take.wav", "RIFF");
  writeFile(u"arch/old.rpp-bak", "a backup that is not read");
  writeFile(u"res/reaper-vstplugins64.ini", kCache);
  const Text arch = path(u"arch"), res = path(u"res");
  struct Case {
    const char* what;
    const char16_t* target;  // under the folder
    bool standardOutput;     // -o - with standard output appended to the target
    std::string reason;
  } cases[] = {
      {"-o the project", u"arch/song.rpp", false, "(it is a project file)"},
      {"standard output onto the project", u"arch/song.rpp", true, "(it is a project file)"},
      {"-o a cache read", u"res/reaper-vstplugins64.ini", false, "(it is a plug-in cache of the REAPER resource folder)"},
      {"standard output onto a cache", u"res/reaper-vstplugins64.ini", true, "(it is a plug-in cache"},
      {"-o a media file", u"arch/Audio/take.wav", false,
       "(it is a media file of " + U8(arch + FolderSeparator() + u"song.rpp") + ")"},
      {"standard output onto a media file", u"arch/Audio/take.wav", true, "(it is a media file of "},
  };
  for (const Case& c : cases) {
    for (TextView format : {u"csv", u"json"}) {
      SCOPED_TRACE(std::string(c.what) + " " + U8(format));
      const Text target = path(c.target);
      const std::string before = ReadBytes(target);
      const std::vector<Text> arguments = {u"--reaper-resources", res, u"--format", Text(format), u"-o",
                                           c.standardOutput ? Text(u"-") : target, arch};
      EXPECT_EQ(c.standardOutput ? runWithStandardOutput(target, arguments) : run(arguments), 1);
      EXPECT_NE(errText().find(": may not create the file! " + c.reason), std::string::npos) << errText();
      EXPECT_EQ(ReadBytes(target), before);
      EXPECT_TRUE(out.empty());
    }
  }
  // Standard output that takes only the output's path is held to the same:
  // the inventory is written, the line is not.
  for (const char16_t* onto : {u"arch/song.rpp", u"arch/Audio/take.wav"}) {
    const std::string before = ReadBytes(path(onto));
    EXPECT_EQ(runWithStandardOutput(path(onto), {u"--reaper-resources", res, u"-o", path(u"i.html"), arch}), 1);
    EXPECT_NE(errText().find("the inventory's path could not be printed on standard output (it is a "), std::string::npos)
        << errText();
    EXPECT_EQ(ReadBytes(path(onto)), before);
    EXPECT_TRUE(FileExists(path(u"i.html")));
  }
  // A backup that is not read is any other file.
  EXPECT_EQ(run({u"--no-installed-check", u"-o", path(u"arch/old.rpp-bak"), arch}), 0) << errText();
  EXPECT_NE(ReadBytes(path(u"arch/old.rpp-bak")).find("<!DOCTYPE html>"), std::string::npos);
}

TEST_F(inventory_cli, the_same_project_reached_twice_is_read_once_and_lists_its_other_paths) {
  MakeFolders(folder(), {u"arch/Audio", u"arch/sub"});
  writeFile(u"arch/song.rpp", kSong);
  std::filesystem::create_hard_link(std::filesystem::path(path(u"arch/song.rpp")),
                                    std::filesystem::path(path(u"arch/hard.rpp")));
  const Text sep(1, FolderSeparator()), arch = path(u"arch"), again = arch + sep + u"sub" + sep + u".." + sep + u".." + sep + u"arch";
  // Four paths, one file: the first in path order keeps it, the others follow it.
  std::vector<std::string> paths;
  for (const Text& root : {arch, again})
    for (const char16_t* name : {u"song.rpp", u"hard.rpp"}) paths.push_back(PathText(root + sep + name));
  std::sort(paths.begin(), paths.end());
  for (std::string& p : paths) p = InJson(TextFromUtf8(p));
  const Text json = path(u"out.json");
  ASSERT_EQ(run({u"--no-installed-check", u"--format", u"json", u"-o", json, arch, again}), 0) << errText();
  const std::string text = ReadBytes(json);
  EXPECT_EQ(Count(text, "\"reaper_version\""), 1u);
  EXPECT_NE(text.find("\"path\": \"" + paths[0] + "\", \"also_at\": [\"" + paths[1] + "\", \"" + paths[2] + "\", \"" +
                      paths[3] + "\"]"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"projects\": 1,"), std::string::npos);
}

TEST_F(inventory_cli, an_empty_path_is_bad_usage_and_no_project_at_all_is_an_error) {
  EXPECT_EQ(run({u"--no-installed-check", u"-o", path(u"i.html"), u""}), 2);
  EXPECT_FALSE(FileExists(path(u"i.html")));
  MakeFolders(folder(), {u"empty", u"res"});
  EXPECT_EQ(run({u"--reaper-resources", path(u"res"), u"-o", path(u"i.html"), path(u"empty")}), 2);
  EXPECT_NE(errText().find("no REAPER plug-in caches in " + U8(path(u"res")) + " (looked for reaper-vstplugins*.ini,"),
            std::string::npos)
      << errText();
  EXPECT_EQ(run({u"--no-installed-check", u"-o", path(u"i.html"), path(u"empty")}), 1);
  EXPECT_EQ(err, std::vector<std::string>{"quorvel-inventory: no REAPER projects under " + U8(path(u"empty"))});
  EXPECT_TRUE(FileExists(path(u"i.html")));  // the empty inventory is still written
}

TEST_F(inventory_cli, failed_writes_and_a_path_that_cannot_be_printed_fail_the_run) {
  writeFile(u"song.rpp", kSong);
  EXPECT_EQ(runWithStandardOutput({}, {u"--no-installed-check", u"--format", u"csv", u"-o", u"-", path(u"song.rpp")}), 1);
  ASSERT_EQ(err.size(), 1u);
  EXPECT_EQ(err[0].rfind("quorvel-inventory: -: Couldn't write the file! (", 0), 0u) << err[0];

  outputWorks = false;
  EXPECT_EQ(run({u"--no-installed-check", u"-o", path(u"i.html"), path(u"song.rpp")}), 1);
  EXPECT_EQ(err, std::vector<std::string>{"quorvel-inventory: the inventory's path could not be printed on standard output"});
  EXPECT_TRUE(FileExists(path(u"i.html")));
  // --quiet prints nothing at all, so nothing fails to print.
  EXPECT_EQ(run({u"--quiet", u"--no-installed-check", u"-o", path(u"i.html"), path(u"song.rpp")}), 0);
  EXPECT_TRUE(out.empty() && err.empty());
}

#ifndef _WIN32
TEST_F(inventory_cli, the_walk_names_every_project_it_cannot_read_and_why) {
  MakeFolders(folder(), {u"arch"});
  writeFile(u"arch/song.rpp", kSong);
  const std::string arch = U8(path(u"arch")) + "/";
  const int odd = ::open((arch + "new\nline\xFF.rpp").c_str(), O_WRONLY | O_CREAT, 0644);  // a name that is not UTF-8
  ASSERT_GE(odd, 0);
  ASSERT_EQ(::write(odd, "junk\n", 5), 5);
  ::close(odd);
  ASSERT_EQ(::symlink("nowhere.rpp", (arch + "dangling.rpp").c_str()), 0);
  ASSERT_EQ(::symlink("loop.rpp", (arch + "loop.rpp").c_str()), 0);
  ASSERT_EQ(::mkfifo((arch + "fifo.rpp").c_str(), 0644), 0);  // would block whoever opens it to read
  ASSERT_EQ(run({u"--no-installed-check", u"-o", path(u"i.csv"), u"--format", u"csv", path(u"arch"),
                 path(u"arch/gone.rpp")}),
            1);
  const std::vector<std::string> expected = {
      "quorvel-inventory: " + arch + "dangling.rpp: the link points nowhere",
      "quorvel-inventory: " + arch + "fifo.rpp: not a regular file",
      "quorvel-inventory: " + arch + "gone.rpp: cannot be found",
      "quorvel-inventory: " + arch + "loop.rpp: cannot be opened (Too many levels of symbolic links)",
      "quorvel-inventory: " + arch + "new\\nline\xFF.rpp: not a REAPER project (its first line is not <REAPER_PROJECT)",
  };
  EXPECT_EQ(err, expected);
  EXPECT_EQ(Count(ReadBytes(path(u"i.csv")), "\r\n"), 2u);  // the header and song.rpp's plug-in
}
#endif
