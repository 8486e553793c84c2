// Finds the project files of an archive: the paths named (files as they are,
// folders walked recursively for "*.rpp" in any letter case, "*.rpp-bak"
// too when asked). Links to folders met while walking are not followed, so
// a loop of links cannot make the walk endless; links to files are read.
// A path that cannot be found and a folder that cannot be listed become
// problems; the walk goes on.
//
// The projects come sorted by path (their pathText bytes, see
// archive_inventory.h), each once, packed in one block of memory: an archive
// of many thousand projects costs little more than its paths' bytes.
#pragma once

#include "runtime/text.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

class ProjectPaths {
 public:
  void add(TextView path);
  // Sorts by pathText bytes and drops repeats.
  void sort();
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  std::string_view bytes(std::size_t i) const {
    const Entry& e = entries_[i];
    return std::string_view(blocks_[e.block]).substr(e.at, e.length);
  }
  Text path(std::size_t i) const;

 private:
  // The bytes go into blocks that are filled, never grown or copied; the
  // entries into a deque, which grows without copying either.
  struct Entry {
    std::uint32_t block, at, length;
  };
  std::vector<std::string> blocks_;
  std::deque<Entry> entries_;
};

struct FoundProjects {
  ProjectPaths projects;  // sorted, each once
  struct Problem {
    Text path;
    std::string message;
  };
  std::vector<Problem> problems;
};

// `paths` are absolute.
FoundProjects findProjects(const std::vector<Text>& paths, bool includeBackups);
