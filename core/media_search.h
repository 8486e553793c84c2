// Where a missing media file went: a file of the same name near its project.
//
// A project moved to another disk names its media by their old absolute
// paths, while the files sit beside it. find() looks in the project's folder
// and its subfolders down to two levels (where projects keep Audio/, Media/,
// Samples/), folder by folder in path order (a folder, then each of its
// subfolders in code-point order, each with its own subfolders), and gives
// the first file of that name: the same letter case where the file system
// tells case apart (POSIX), any case on Windows. A folder that cannot be
// listed holds nothing.
//
// Each folder is listed at most once while its listing is kept: the
// listings are shared by every project of a run (projects in one folder ask
// for the same ones) up to a budget of bytes, past which the least recently
// used are forgotten, so memory stays bounded however large the archive.
// Thread-safe: the reading jobs share one.
#pragma once

#include "runtime/text.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class MediaSearch {
 public:
  explicit MediaSearch(std::size_t budgetBytes = std::size_t{16} << 20) : budget_(budgetBytes) {}
  // `root` ends with a separator; `written` is the media path as the project
  // writes it (either separator), whose last part is the name looked for.
  // The path found, or empty.
  Text find(TextView root, std::string_view written);
  // How many folders were listed so far (each listing counts).
  std::uint64_t listings() const;

 private:
  struct Listing {
    std::vector<Text> files, folders;  // names, sorted
    std::size_t bytes = 0;
    std::uint64_t lastUse = 0;
  };
  const Listing& listing(const Text& folder);  // with mutex_ held
  void forgetOldest();

  mutable std::mutex mutex_;
  std::size_t budget_, held_ = 0;
  std::uint64_t clock_ = 0, listed_ = 0;
  std::unordered_map<Text, Listing> listings_;
};

// The name of a media file as a project writes it: what follows its last
// "/" or "\".
std::string_view mediaFileName(std::string_view written);
