#include "runtime/dates.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

#include <chrono>
#include <filesystem>

namespace {

std::string U8(TextView text) { return TextToUtf8(text); }

void SetModified(TextView path, std::chrono::sys_seconds when) {
  std::filesystem::last_write_time(std::filesystem::path(std::u16string(path)),
                                    std::chrono::file_clock::from_sys(when));
}

constexpr std::chrono::sys_seconds At(int y, unsigned mo, unsigned d, int h, int mi, int s) {
  return std::chrono::sys_days{std::chrono::year{y} / mo / d} + std::chrono::hours{h} + std::chrono::minutes{mi} +
         std::chrono::seconds{s};
}

using paths_dates = TempFolder;

}  // namespace

TEST(paths, folder_and_file_name_parts) {
  struct Case { TextView path, folder, name; };
#ifdef _WIN32
  // Windows: both separators, quotes around the path, "|" ends the folder.
  const Case cases[] = {
      {u"D:\\Music\\song.rpp", u"D:\\Music\\", u"song.rpp"},
      {u"song.rpp", u"", u"song.rpp"},
      {u"\"D:\\Music\\song.rpp\"", u"D:\\Music\\", u"song.rpp"},
      {u"\"song.rpp\"", u"", u"song.rpp"},
      {u"D:/a\\b.rpp", u"D:/a\\", u"b.rpp"},
      {u"/home/me/x.rpp", u"/home/me/", u"x.rpp"},
      {u"D:\\Music\\", u"D:\\Music\\", u""},
      {u"a\\b|c\\d.rpp", u"a\\", u"d.rpp"},
      {u"", u"", u""},
      {u"a\\b\"c", u"a\\", u"b"},
  };
#else
  // POSIX: only "/" separates; "\\", "|" and quotes are parts of names.
  const Case cases[] = {
      {u"/home/me/song.rpp", u"/home/me/", u"song.rpp"},
      {u"song.rpp", u"", u"song.rpp"},
      {u"/m/a|b/gig.rpp", u"/m/a|b/", u"gig.rpp"},
      {u"/m/the \"best\" mix.rpp", u"/m/", u"the \"best\" mix.rpp"},
      {u"/m/a\\b.rpp", u"/m/", u"a\\b.rpp"},
      {u"\"quoted.rpp\"", u"", u"\"quoted.rpp\""},
      {u"/m/", u"/m/", u""},
      {u"/", u"/", u""},
      {u"", u"", u""},
  };
#endif
  for (const Case& c : cases) {
    EXPECT_EQ(U8(PathPart(c.path)), U8(c.folder)) << U8(c.path);
    EXPECT_EQ(U8(FileNamePart(c.path)), U8(c.name)) << U8(c.path);
  }
}

TEST(paths, folder_of_splits_at_the_last_separator_and_nothing_else) {
  struct Case { TextView path, folder; };
#ifdef _WIN32
  // Unlike PathPart: quotes and "|" are left as they are.
  const Case cases[] = {{u"D:\\Music\\song.rpp", u"D:\\Music\\"}, {u"\"D:\\Music\\song.rpp\"", u"\"D:\\Music\\"},
                        {u"a\\b|c\\d.rpp", u"a\\b|c\\"},           {u"D:/a\\b.rpp", u"D:/a\\"},
                        {u"song.rpp", u""}};
#else
  const Case cases[] = {{u"/m/a|b/gig.rpp", u"/m/a|b/"}, {u"/m/a\\b.rpp", u"/m/"}, {u"/", u"/"}, {u"song.rpp", u""}};
#endif
  for (const Case& c : cases) EXPECT_EQ(U8(FolderOf(c.path)), U8(c.folder)) << U8(c.path);
}

TEST_F(paths_dates, current_directory_is_the_working_folder_with_one_separator) {
  const Text separator(1, FolderSeparator());
  const Text name = u"w\u00e9rk dir";
  std::filesystem::create_directories(std::filesystem::path(std::u16string(path(name))));
  {
    WorkingDirectory inside(path(name));
    const Text current = CurrentDirectory();
    EXPECT_EQ(U8(current), U8(WorkingDirectory::current()));
    EXPECT_EQ(U8(TextTail(current, TextLength(name) + 1)), U8(name + separator));
  }
  // A root folder ends in its separator already: it is not doubled.
  const Text root = std::filesystem::path(std::u16string(folder())).root_path().u16string();
  ASSERT_FALSE(root.empty());
  WorkingDirectory atRoot(root);
  EXPECT_EQ(U8(CurrentDirectory()), U8(root));
}

TEST_F(paths_dates, absolute_paths_drop_dot_segments) {
  const Text separator(1, FolderSeparator());
  std::filesystem::create_directories(std::filesystem::path(std::u16string(path(u"work/sub"))));
  WorkingDirectory inside(path(u"work"));
  const Text here = WorkingDirectory::current();
  ASSERT_EQ(U8(TextTail(here, 5)), U8(u"work" + separator));
  const Text parent = Text(TextHead(here, TextLength(here) - 5));
  EXPECT_EQ(U8(AbsolutePath(u"x.rpp")), U8(here + u"x.rpp"));
  EXPECT_EQ(U8(AbsolutePath(u"./x.rpp")), U8(here + u"x.rpp"));
  EXPECT_EQ(U8(AbsolutePath(u"sub/../x.rpp")), U8(here + u"x.rpp"));
  EXPECT_EQ(U8(AbsolutePath(u"../x.rpp")), U8(parent + u"x.rpp"));
  const Text absolute = here + u"sub" + separator + u"y.rpp";
  EXPECT_EQ(U8(AbsolutePath(absolute)), U8(absolute));
  EXPECT_EQ(U8(AbsolutePath(u"")), "");
}

TEST_F(paths_dates, absolute_paths_as_given_keep_every_name_but_a_leading_dot) {
  const Text sep(1, FolderSeparator());
  std::filesystem::create_directories(std::filesystem::path(std::u16string(path(u"work/sub"))));
  WorkingDirectory inside(path(u"work"));
  const Text here = WorkingDirectory::current();
  const Text root = here + u"sub" + sep + u".." + sep + u"." + sep + u"x.rpp";
  // Windows names the folder "." without its final separator.
  const Text dot = FolderSeparator() == u'\\' ? here.substr(0, here.size() - 1) : here;
  struct Case { Text path, resolved, asGiven; };
  const Case cases[] = {
      {u"x.rpp", here + u"x.rpp", here + u"x.rpp"},
      {u"." + sep + u"." + sep + u"x.rpp", here + u"x.rpp", here + u"x.rpp"},
      {u".", dot, here},
      {u"sub" + sep + u".." + sep + u"x.rpp", here + u"x.rpp", here + u"sub" + sep + u".." + sep + u"x.rpp"},
      {u"sub" + sep + u"." + sep + u"x.rpp", here + u"sub" + sep + u"x.rpp", here + u"sub" + sep + u"." + sep + u"x.rpp"},
      {root, here + u"x.rpp", root},
      {u"", u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(U8(AbsolutePath(c.path)), U8(c.resolved)) << U8(c.path);
    EXPECT_EQ(U8(AbsolutePath(c.path, PathNames::AsGiven)), U8(c.asGiven)) << U8(c.path);
  }
}

#ifdef _WIN32
TEST(paths, windows_resolves_dot_dot_by_name) {
  EXPECT_EQ(U8(AbsolutePath(u"./a/../x.rpp")), U8(CurrentDirectory() + u"x.rpp"));
}
#else
TEST_F(paths_dates, dot_dot_is_resolved_as_the_system_resolves_it) {
  // real/sub and a link to it: "link/../p.rpp" is real/p.rpp for the
  // system, not the p.rpp beside the link that a name-by-name reading gives.
  namespace fs = std::filesystem;
  fs::create_directories(fs::path(std::u16string(path(u"real/sub"))));
  fs::create_symlink(fs::path(std::u16string(path(u"real/sub"))), fs::path(std::u16string(path(u"link"))));
  writeFile(u"real/p.rpp", "real");
  writeFile(u"p.rpp", "beside the link");
  const Text resolved = AbsolutePath(path(u"link/../p.rpp"));
  EXPECT_EQ(ReadBytes(resolved), "real");
  EXPECT_EQ(U8(FileNamePart(resolved)), "p.rpp");
  EXPECT_EQ(resolved.find(u".."), Text::npos);
  // A folder that is not there is left for the open to fail on.
  EXPECT_EQ(U8(AbsolutePath(path(u"gone/../p.rpp"))), U8(path(u"gone/../p.rpp")));
  EXPECT_EQ(U8(AbsolutePath(u"//a//./b/")), "/a/b/");
}
#endif

TEST(dates, patterns_render_each_token) {
  const Timestamp t = 1752743130;  // 2025-07-17 09:05:30
  EXPECT_EQ(U8(FormatTimestamp(u"%dd/%mm/%yyyy %hh:%ii", t)), "17/07/2025 09:05");
  EXPECT_EQ(U8(FormatTimestamp(u"%YYYY-%Mm-%dD", t)), "2025-07-17");
  EXPECT_EQ(U8(FormatTimestamp(u"%yy %ss", t)), "25 30");
  EXPECT_EQ(U8(FormatTimestamp(u"100%x", t)), "100%x");
  EXPECT_EQ(U8(FormatTimestamp(u"%%dd%", t)), "%17%");
  EXPECT_EQ(U8(FormatTimestamp(u"%ss", 5)), "05");
  EXPECT_EQ(U8(FormatTimestamp(u"%dd/%mm/%yyyy %hh:%ii", 0)), "01/01/1970 00:00");
  EXPECT_EQ(U8(FormatTimestamp(u"%dd/%mm/%yyyy", 951782400)), "29/02/2000");
  EXPECT_EQ(U8(FormatTimestamp(u"%dd/%mm/%yyyy %hh:%ii:%ss", -11644473600)), "01/01/1601 00:00:00");
  EXPECT_EQ(U8(FormatTimestamp(u"%dd/%mm/%yyyy", 253402300799)), "31/12/9999");
}

TEST(dates, no_date_and_moments_out_of_range_render_empty) {
  EXPECT_EQ(U8(FormatTimestamp(u"%dd", -1)), "");
  EXPECT_EQ(U8(FormatTimestamp(u"", 0)), "");
  EXPECT_EQ(U8(FormatTimestamp(u"%dd", -11644473601)), "");
  EXPECT_EQ(U8(FormatTimestamp(u"%dd", std::numeric_limits<std::int64_t>::max())), "");
  EXPECT_EQ(U8(FormatTimestamp(u"%dd", std::numeric_limits<std::int64_t>::min())), "");
  EXPECT_EQ(U8(FormatTimestamp(u"long " + Text(10000, u'x'), 0)).size(), 10005u);
}

// The tests run with TZ set to Central European time (two hours ahead in summer).
TEST_F(paths_dates, file_times_are_local_wall_clock) {
  writeFile(u"song.rpp", "x");
  SetModified(path(u"song.rpp"), At(2025, 7, 17, 7, 5, 30));
  EXPECT_EQ(FileTimestamp(path(u"song.rpp"), TimestampKind::Modified), 1752743130);
  EXPECT_EQ(U8(FileDateText(path(u"song.rpp"))), "17/07/2025 09:05");
  SetModified(path(u"song.rpp"), At(2024, 1, 3, 23, 30, 0));
  EXPECT_EQ(U8(FileDateText(path(u"song.rpp"))), "04/01/2024 00:30");
}

TEST_F(paths_dates, missing_files_have_time_zero) {
  EXPECT_EQ(FileTimestamp(path(u"missing.rpp"), TimestampKind::Modified), 0);
  EXPECT_EQ(FileTimestamp(u"", TimestampKind::Modified), 0);
  EXPECT_EQ(U8(FileDateText(path(u"missing.rpp"))), "01/01/1970 00:00");
}

TEST_F(paths_dates, a_folder_is_found_with_its_trailing_separator) {
  EXPECT_NE(FileTimestamp(folder(), TimestampKind::Modified), 0);
  EXPECT_NE(FileTimestamp(folder(), TimestampKind::Created), 0);
  EXPECT_NE(FileTimestamp(folder(), TimestampKind::Accessed), 0);
}
