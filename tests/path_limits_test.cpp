// The longest path the system can open: 259 units on Windows; on POSIX
// PATH_MAX - 1 bytes in all and NAME_MAX bytes between separators, counted in
// the file-name encoding (UTF-8), not in units.
#include "runtime/path_limits.h"
#include "runtime/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool OnWindows() { return FolderSeparator() == u'\\'; }

// Linux's NAME_MAX and PATH_MAX.
constexpr std::size_t kNameMax = 255;
constexpr std::size_t kPathMax = 4096;

Text Repeat(TextView piece, std::size_t times) {
  Text text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

}  // namespace

TEST(path_limits, windows_paths_hold_259_units) {
  if (!OnWindows()) GTEST_SKIP() << "the Windows limit";
  EXPECT_TRUE(PathFitsSystemLimits(u"C:\\" + Text(256, u'a')));   // 259 units
  EXPECT_FALSE(PathFitsSystemLimits(u"C:\\" + Text(257, u'a')));  // 260
  EXPECT_TRUE(PathFitsSystemLimits(u"C:\\" + Text(200, u'\u00e9') + u"\\x.rpp"));
  EXPECT_FALSE(PathFitsSystemLimits(u"C:\\" + Repeat(u"dir\\", 70)));
}

TEST(path_limits, posix_names_and_paths_are_counted_in_bytes) {
  if (OnWindows()) GTEST_SKIP() << "the POSIX limits";
  const Text folder = u"/home/me/";
  struct Case {
    Text path;
    bool fits;
  };
  const Case cases[] = {
      {folder + Text(kNameMax, u'n'), true},
      {folder + Text(kNameMax + 1, u'n'), false},
      {folder + Text(kNameMax + 1, u'n') + u"/x.rpp", false},  // a folder's name counts too
      // 128 two-byte characters are 256 bytes: too long although 128 units.
      {folder + Text(127, u'\u00e9') + u"a", true},
      {folder + Text(128, u'\u00e9'), false},
      // Many short names: the whole path is what counts.
      {Repeat(u"/abcdefgh", (kPathMax - 1) / 9), true},
      {Repeat(u"/abcdefgh", (kPathMax - 1) / 9 + 1), false},
      {folder + Text(300, u'a').substr(0, 250) + u".rpp", true},  // 254 bytes: longer than Windows allows
      // A byte of a name that is not UTF-8 is carried as one unit (U+DC80..U+DCFF)
      // and counts as the one byte it is on disk.
      {folder + Text(kNameMax, u'\xDCE9'), true},
      {folder + Text(kNameMax + 1, u'\xDCE9'), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathFitsSystemLimits(c.path), c.fits) << c.path.size() << " units";
  }
}
