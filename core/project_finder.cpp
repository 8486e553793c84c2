#include "core/project_finder.h"

#include "core/archive_inventory.h"
#include "runtime/file_tree.h"
#include "runtime/paths.h"

#include <algorithm>

namespace {

bool isSeparator(char16_t c) { return c == u'/' || c == FolderSeparator(); }

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool endsWithNoCase(TextView name, TextView suffix) {
  if (name.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i)
    if (lower(name[name.size() - suffix.size() + i]) != suffix[i]) return false;
  return true;
}

}  // namespace

void ProjectPaths::add(TextView path) {
  constexpr std::size_t kBlock = 64 * 1024;
  const std::string bytes = pathText(path);
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < bytes.size()) {
    blocks_.emplace_back().reserve(std::max(kBlock, bytes.size()));
  }
  std::string& block = blocks_.back();
  entries_.push_back({static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(block.size()),
                      static_cast<std::uint32_t>(bytes.size())});
  block += bytes;
}

void ProjectPaths::sort() {
  auto view = [&](const Entry& e) { return std::string_view(blocks_[e.block]).substr(e.at, e.length); };
  std::sort(entries_.begin(), entries_.end(), [&](const Entry& a, const Entry& b) { return view(a) < view(b); });
  entries_.erase(std::unique(entries_.begin(), entries_.end(),
                             [&](const Entry& a, const Entry& b) { return view(a) == view(b); }),
                 entries_.end());
}

Text ProjectPaths::path(std::size_t i) const { return textFromPathText(bytes(i)); }

FoundProjects findProjects(const std::vector<Text>& paths, bool includeBackups) {
  FoundProjects found;
  auto addProject = [&](const Text& path) { found.projects.add(path); };
  std::vector<FolderEntry> entries;
  for (const Text& root : paths) {
    switch (PathKindOf(root)) {
      case PathKind::Missing:
        found.problems.push_back({root, "cannot be found"});
        continue;
      case PathKind::File:
        addProject(root);
        continue;
      case PathKind::Other:
        found.problems.push_back({root, "is neither a file nor a folder"});
        continue;
      case PathKind::Folder:
        break;
    }
    std::vector<Text> folders{root};
    while (!folders.empty()) {
      Text folder = std::move(folders.back());
      folders.pop_back();
      while (folder.size() > 1 && isSeparator(folder.back())) folder.pop_back();
      if (!ListFolder(folder, entries)) {
        found.problems.push_back({folder, "the folder cannot be read"});
        continue;
      }
      if (folder.empty() || !isSeparator(folder.back())) folder.push_back(FolderSeparator());
      // Names in reverse order on the stack, so folders are walked in name order.
      std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name > b.name; });
      for (const FolderEntry& entry : entries) {
        if (entry.kind == PathKind::Folder) {
          if (!entry.link) folders.push_back(folder + entry.name);
        } else if (entry.kind == PathKind::File &&
                   (endsWithNoCase(entry.name, u".rpp") || (includeBackups && endsWithNoCase(entry.name, u".rpp-bak")))) {
          addProject(folder + entry.name);
        }
      }
    }
  }
  found.projects.sort();
  return found;
}
