// Finds the project files of an archive: the paths named (files as they are,
// folders walked recursively for "*.rpp" in any letter case, "*.rpp-bak"
// too when asked). Links to folders met while walking are not followed, so
// a loop of links cannot make the walk endless; links to files are read.
//
// Nothing found is dropped without a word: a path that cannot be found, a
// folder that cannot be listed, and every entry named like a project that
// cannot be examined (with the system's reason), whose link points nowhere,
// or that is a pipe, socket or device (never opened) become problems; the
// walk goes on.
//
// The projects come sorted by path (their PathText bytes, see
// runtime/path_text.h), each file once: one reached by several paths (a
// hard link, a link to it, a folder named twice under other names) is kept
// under the first of them, and the others are its alsoAt(). They are packed
// in blocks of memory: an archive of many thousand projects costs little
// more than its paths' bytes.
#pragma once

#include "runtime/os_file.h"
#include "runtime/text.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

class ProjectPaths {
 public:
  // `identity` says which file the path is; paths of one known identity are
  // one project.
  void add(TextView path, const FileIdentity& identity = {});
  // Sorts by PathText bytes, drops repeated paths and keeps each file once.
  void sort();
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  std::string_view bytes(std::size_t i) const { return view(entries_[i]); }
  Text path(std::size_t i) const;
  FileIdentity identity(std::size_t i) const { return entries_[i].identity; }
  // The other paths that lead to project i, sorted; empty for most.
  std::vector<std::string_view> alsoAt(std::size_t i) const;

 private:
  // The bytes go into blocks that are filled, never grown or copied; the
  // entries into a deque, which grows without copying either.
  struct Entry {
    std::uint32_t block, at, length;
    FileIdentity identity;
  };
  std::string_view view(const Entry& e) const { return std::string_view(blocks_[e.block]).substr(e.at, e.length); }
  std::vector<std::string> blocks_;
  std::deque<Entry> entries_;
  // Paths that lead to a project kept under another: (its index, the path).
  std::vector<std::pair<std::size_t, Entry>> aliases_;
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
