#include "core/project_finder.h"

#include "runtime/path_text.h"
#include "runtime/file_tree.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <tuple>

namespace {

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool endsWithNoCase(TextView name, TextView suffix) {
  if (name.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i)
    if (lower(name[name.size() - suffix.size() + i]) != suffix[i]) return false;
  return true;
}

// Why a file that was found cannot be read; empty when it can be.
std::string problemOf(PathKind kind, bool link, std::int64_t error) {
  switch (kind) {
    case PathKind::File:
    case PathKind::Folder:
      return {};
    case PathKind::Other:
      return TextToUtf8(OwnErrorText(kErrorNotRegularFile));
    case PathKind::Missing:
      break;
  }
  if (error != 0) return "cannot be opened (" + TextToUtf8(OsErrorText(error)) + ")";
  return link ? "the link points nowhere" : "cannot be found";
}

}  // namespace

void ProjectPaths::add(TextView path, const FileIdentity& identity) {
  constexpr std::size_t kBlock = 64 * 1024;
  const std::string bytes = PathText(path);
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < bytes.size()) {
    blocks_.emplace_back().reserve(std::max(kBlock, bytes.size()));
  }
  std::string& block = blocks_.back();
  entries_.push_back({static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(block.size()),
                      static_cast<std::uint32_t>(bytes.size()), identity});
  block += bytes;
}

void ProjectPaths::sort() {
  std::sort(entries_.begin(), entries_.end(), [&](const Entry& a, const Entry& b) { return view(a) < view(b); });
  entries_.erase(std::unique(entries_.begin(), entries_.end(),
                             [&](const Entry& a, const Entry& b) { return view(a) == view(b); }),
                 entries_.end());
  // One file under several paths: grouped by identity, the first path of
  // each group (in path order) keeps it, the others become its aliases.
  std::vector<std::size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  auto key = [&](std::size_t i) {
    const FileIdentity& id = entries_[i].identity;
    return std::make_tuple(!id.known, id.device, id.file, i);
  };
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  std::vector<std::size_t> keptAs(entries_.size(), SIZE_MAX);  // per alias: the entry that keeps its file
  for (std::size_t k = 1; k < order.size(); ++k) {
    const std::size_t first = keptAs[order[k - 1]] == SIZE_MAX ? order[k - 1] : keptAs[order[k - 1]];
    if (entries_[order[k]].identity == entries_[first].identity) keptAs[order[k]] = first;
  }
  aliases_.clear();
  std::deque<Entry> kept;
  std::vector<std::size_t> newIndex(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (keptAs[i] != SIZE_MAX) continue;
    newIndex[i] = kept.size();
    kept.push_back(entries_[i]);
  }
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (keptAs[i] != SIZE_MAX) aliases_.emplace_back(newIndex[keptAs[i]], entries_[i]);
  // In project order, each project's aliases in path order (i grew with the path).
  std::stable_sort(aliases_.begin(), aliases_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  entries_ = std::move(kept);
}

Text ProjectPaths::path(std::size_t i) const { return TextFromPathText(bytes(i)); }

std::vector<std::string_view> ProjectPaths::alsoAt(std::size_t i) const {
  std::vector<std::string_view> paths;
  auto it = std::lower_bound(aliases_.begin(), aliases_.end(), i,
                             [](const auto& a, std::size_t n) { return a.first < n; });
  for (; it != aliases_.end() && it->first == i; ++it) paths.push_back(view(it->second));
  return paths;
}

FoundProjects findProjects(const std::vector<Text>& paths, bool includeBackups) {
  FoundProjects found;
  std::vector<FolderEntry> entries;
  for (const Text& root : paths) {
    const PathFacts facts = ExaminePath(root);
    if (facts.kind != PathKind::Folder) {
      const bool link = facts.kind == PathKind::Missing && IsSymbolicLink(root);
      const std::string problem = problemOf(facts.kind, link, facts.error);
      if (problem.empty()) found.projects.add(root, facts.identity);
      else found.problems.push_back({root, problem});
      continue;
    }
    std::vector<Text> folders{root};
    while (!folders.empty()) {
      Text folder = std::move(folders.back());
      folders.pop_back();
      while (folder.size() > 1 && IsSeparator(folder.back())) folder.pop_back();
      if (!ListFolder(folder, entries)) {
        const std::string reason = TextToUtf8(OsErrorText(OsLastError()));
        found.problems.push_back({folder, "the folder cannot be read (" + reason + ")"});
        continue;
      }
      if (folder.empty() || !IsSeparator(folder.back())) folder.push_back(FolderSeparator());
      // Names in reverse order on the stack, so folders are walked in name order.
      std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name > b.name; });
      for (const FolderEntry& entry : entries) {
        if (entry.kind == PathKind::Folder) {
          if (!entry.link) folders.push_back(folder + entry.name);
          continue;
        }
        if (!endsWithNoCase(entry.name, u".rpp") && !(includeBackups && endsWithNoCase(entry.name, u".rpp-bak")))
          continue;
        const Text path = folder + entry.name;
        const std::string problem = problemOf(entry.kind, entry.link, entry.error);
        if (!problem.empty()) found.problems.push_back({path, problem});
        else found.projects.add(path, entry.identity.known ? entry.identity : ExaminePath(path).identity);
      }
    }
  }
  found.projects.sort();
  return found;
}
